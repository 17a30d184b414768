#!/usr/bin/env bash
# scripts/build-launcher refuses bad inputs with one line on standard error
# and exit code 1, before anything is configured or compiled: every build
# step goes through cmake, and the cmake found first on PATH here only
# records that it was called. Values that look like options or keywords
# are taken as values.
#   build_launcher_refusals.sh QARVEL_PACK WORK_DIR
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
export QARVEL_PACK="$1"
work="$2"
rm -rf "$work"
mkdir -p "$work/shims" "$work/app/bin" "$work/a-file"
work="$(realpath "$work")"
cat >"$work/shims/cmake" <<SHIM
#!/bin/sh
echo "cmake \$*" >>"$work/cmake-calls"
exit 1
SHIM
chmod +x "$work/shims/cmake"
python3 "$root/tests/tools/windows_program.py" "$work/app/bin/app.exe"
printf 'payload\n' >"$work/payload.bin"
printf '\x89PNG\r\n\x1a\n not an icon' >"$work/picture.png"
printf '\0\0\1\0\0\0' >"$work/no-images.ico"
: >"$work/a-file/plain"

failures=0
# refused EXPECTED_LINE ARGUMENT...: the build is refused with exactly that line.
refused() {
  local expected="$1" status=0
  shift
  rm -f "$work/cmake-calls"
  PATH="$work/shims:$PATH" "$root/scripts/build-launcher" --build-dir "$work/build" "$@" \
    >"$work/stdout" 2>"$work/stderr" || status=$?
  local problem=""
  [ "$status" -eq 1 ] || problem="exit code $status"
  [ "$(cat "$work/stderr")" = "build-launcher: $expected" ] || problem+=" stderr '$(cat "$work/stderr")'"
  [ ! -s "$work/stdout" ] || problem+=" stdout '$(cat "$work/stdout")'"
  [ ! -e "$work/cmake-calls" ] || problem+=" cmake ran: $(head -n1 "$work/cmake-calls")"
  if [ -n "$problem" ]; then
    echo "FAIL: $* ($expected):$problem" >&2
    failures=$((failures + 1))
  fi
}

app=(--app-dir "$work/app" --main 'bin\app.exe' --company Acme)
out=(-o "$work/out/app.exe")
device="it is a device name, which Windows opens as a device; give a target spec"
long_name="$(printf 'p%.0s' {1..256})"
# EXPECTED_LINE|OPTION|VALUE: the build of the application folder with that
# option is refused with that line.
cases=(
  "version 1.2.3: want four numbers, as 1.20.0.0|--version|1.2.3"
  "version 1.2.3.4.5: want four numbers, as 1.20.0.0|--version|1.2.3.4.5"
  "version 1.x.0.0: want four numbers, as 1.20.0.0|--version|1.x.0.0"
  "version 1.65536.0.0: each number must be at most 65535|--version|1.65536.0.0"
  "version 1.0.0.000001: each number must be at most 65535|--version|1.0.0.000001"
  "$work/picture.png is not an icon (.ico) file|--icon|$work/picture.png"
  "$work/no-images.ico is not an icon (.ico) file|--icon|$work/no-images.ico"
  "no such icon file: $work/none.ico|--icon|$work/none.ico"
  "the company \"CON\" leaves the cache folder name 'CON': $device|--company|CON"
  "the company \"N u l\" leaves the cache folder name 'Nul': $device|--company|N u l"
  "the product \"aux.txt\" leaves the cache folder name 'aux.txt': $device|--product|aux.txt"
  "the product \"Lpt\u00b9 .log\" leaves the cache folder name 'Lpt\u00b9 .log': $device|--product|Lpt\u00b9 .log"
  "the product \"com3. .\" leaves the cache folder name 'com3': $device|--product|com3. ."
  "the product holds a control character|--product|tab\there"
  "the company \"<?>\" leaves no name for the cache folder; give a target spec|--company|<?>"
  "the product is 256 UTF-16 units long; a launcher holds at most 255|--product|$long_name"
  "the target spec {CACHE_DIR}\\{Acme has an unterminated token {Acme; the launcher would drop it|--target-spec|{CACHE_DIR}\\{Acme"
)
for case in "${cases[@]}"; do
  case="$(printf '%b' "$case")"
  IFS='|' read -r expected option value <<<"$case"
  refused "$expected" "${app[@]}" "${out[@]}" "$option" "$value"
done
refused "--company needs a value" "${app[@]}" "${out[@]}" --company
refused "no such folder: $work/none" --app-dir "$work/none" --main app.exe "${out[@]}"
refused "no main file bin\\main.exe in $work/app" --app-dir "$work/app" --main 'bin\main.exe' "${out[@]}"
refused "no main file bin in $work/app" --app-dir "$work/app" --main bin "${out[@]}"
refused "no such payload file: $work/none.bin" --payload "$work/none.bin" "${out[@]}"
refused "cannot write the launcher to $work/a-file/plain/app.exe" "${app[@]}" -o "$work/a-file/plain/app.exe"
refused "-o $work/a-file is a folder" "${app[@]}" -o "$work/a-file"
if [ "$(id -u)" -ne 0 ]; then
  mkdir -p "$work/locked"
  chmod a-w "$work/locked"
  refused "cannot write the launcher to $work/locked/app.exe" "${app[@]}" -o "$work/locked/app.exe"
fi

# The same inputs made sound reach the configure step, and so do values
# that look like options or like the CMake function's keywords, each as the
# value it is.
reaches_cmake() {
  rm -f "$work/cmake-calls"
  PATH="$work/shims:$PATH" "$root/scripts/build-launcher" --build-dir "$work/build" \
    --payload "$work/payload.bin" "${out[@]}" "$@" >/dev/null 2>"$work/stderr" || true
  if [ ! -e "$work/cmake-calls" ]; then
    echo "FAIL: $* never reached cmake: $(cat "$work/stderr")" >&2
    failures=$((failures + 1))
    return 1
  fi
}
reaches_cmake --version 1.2.3.65535 --icon "$root/resources/qarvel.ico" --company ' . Acme'
reaches_cmake --product ELEVATED --description VERSION --company ICON --copyright --elevated \
  --internal-name -o --original-filename '' --target-spec 'a;b' \
  && for expected in -DQARVEL_LAUNCHER_PRODUCT=ELEVATED -DQARVEL_LAUNCHER_DESCRIPTION=VERSION \
    -DQARVEL_LAUNCHER_COMPANY=ICON -DQARVEL_LAUNCHER_COPYRIGHT=--elevated \
    -DQARVEL_LAUNCHER_INTERNAL_NAME=-o -DQARVEL_LAUNCHER_ORIGINAL_FILENAME=app.exe \
    "-DQARVEL_LAUNCHER_TARGET_SPEC=a;b" -DQARVEL_LAUNCHER_ELEVATED=OFF; do
    grep -qF -- " $expected " "$work/cmake-calls" || {
      echo "FAIL: cmake was not given $expected: $(cat "$work/cmake-calls")" >&2
      failures=$((failures + 1))
    }
  done

# An elevated launcher whose folder starts in one of the user's warns, once,
# in qarvel-pack's words; one below Program Files does not.
elevated_warnings() {
  reaches_cmake --elevated "$@" && grep -c '^build-launcher: warning: this launcher asks for administrator rights' "$work/stderr" || true
}
for case in "1|{Home}\Acme" "0|{PROGRAM_FILES}\Acme" "0|"; do
  count="$(elevated_warnings --target-spec "${case#*|}")"
  if [ "$count" != "${case%%|*}" ]; then
    echo "FAIL: --elevated --target-spec '${case#*|}': $count warnings, want ${case%%|*}: $(cat "$work/stderr")" >&2
    failures=$((failures + 1))
  fi
done

[ $failures -eq 0 ] || exit 1
echo "build_launcher_refusals: every bad input refused before cmake"
