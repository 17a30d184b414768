#!/usr/bin/env bash
# qarvel_add_onefile_launcher refuses a bad version or icon, and an identity
# that names no cache folder, when it is called, so the configure step fails with the reason and nothing is built.
# It warns when an elevated launcher's folder starts in one of the user's.
# The project of scripts/build-launcher is configured directly, as a user's
# project would call the function.
#   onefile_function_refusals.sh ZSTD_SOURCE WORK_DIR
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
zstd_source="$1"
work="$2"
rm -rf "$work"
mkdir -p "$work"
work="$(realpath "$work")"
printf 'payload\n' >"$work/payload.bin"
printf 'GIF89a, not an icon\n' >"$work/picture.ico"

failures=0
# refused EXPECTED_TEXT -DVARIABLE=VALUE...: configuring fails and says EXPECTED_TEXT.
refused() {
  local expected="$1" build="$work/build-$((++case_number))"
  shift
  if cmake --no-warn-unused-cli -S "$root/tools/build-launcher" -B "$build" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" -DQARVEL_ZSTD_SOURCE="$zstd_source" \
    -DQARVEL_LAUNCHER_PAYLOAD="$work/payload.bin" "$@" >"$build.log" 2>&1; then
    echo "FAIL: $* was accepted" >&2
    failures=$((failures + 1))
  elif ! tr -s '[:space:]' ' ' <"$build.log" | grep -qF -- "$expected"; then
    echo "FAIL: $*: no '$expected' in:" >&2
    cat "$build.log" >&2
    failures=$((failures + 1))
  fi
}
case_number=0
refused "VERSION 1.2.3 must be four numbers, as 1.20.0.0" -DQARVEL_LAUNCHER_VERSION=1.2.3
refused "VERSION 1.2.3.65536: each number must be at most 65535" -DQARVEL_LAUNCHER_VERSION=1.2.3.65536
refused "$work/picture.ico is not an icon (.ico) file" -DQARVEL_LAUNCHER_ICON="$work/picture.ico"
refused "no such icon file: $work/none.ico" -DQARVEL_LAUNCHER_ICON="$work/none.ico"
# Without TARGET_SPEC the company names a folder: one of forbidden characters cannot.
refused 'COMPANY "<?>" leaves no name for the cache folder: give TARGET_SPEC' -DQARVEL_LAUNCHER_COMPANY='<?>'

# warned YES|NO -DVARIABLE=VALUE...: configuring succeeds, with or without
# the elevated launcher's warning. One build folder: reconfiguring is quick.
warned() {
  local expected="$1" build="$work/build-warnings" text="starts in a folder that programs without administrator rights may change"
  shift
  if ! cmake --no-warn-unused-cli -S "$root/tools/build-launcher" -B "$build" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" -DQARVEL_ZSTD_SOURCE="$zstd_source" \
    -DQARVEL_LAUNCHER_PAYLOAD="$work/payload.bin" "$@" >"$build.log" 2>&1; then
    echo "FAIL: $* was refused:" >&2
    cat "$build.log" >&2
    failures=$((failures + 1))
  elif [ "$(tr -s '[:space:]' ' ' <"$build.log" | grep -cF -- "$text")" != "$([ "$expected" = YES ] && echo 1 || echo 0)" ]; then
    echo "FAIL: $*: expected the warning: $expected; got:" >&2
    cat "$build.log" >&2
    failures=$((failures + 1))
  fi
}
warned YES -DQARVEL_LAUNCHER_ELEVATED=ON '-DQARVEL_LAUNCHER_TARGET_SPEC={CACHE_DIR}\Acme\Tool'
warned YES -DQARVEL_LAUNCHER_ELEVATED=ON '-DQARVEL_LAUNCHER_TARGET_SPEC={program_dir}\cache'
warned NO -DQARVEL_LAUNCHER_ELEVATED=ON '-DQARVEL_LAUNCHER_TARGET_SPEC={PROGRAM_FILES}\Acme\Tool'
warned NO -DQARVEL_LAUNCHER_ELEVATED=ON -DQARVEL_LAUNCHER_TARGET_SPEC=
warned NO -DQARVEL_LAUNCHER_ELEVATED=OFF '-DQARVEL_LAUNCHER_TARGET_SPEC={TEMP}\Acme\Tool'

[ $failures -eq 0 ] || exit 1
echo "onefile_function_refusals: each bad input refused when the function is called"
