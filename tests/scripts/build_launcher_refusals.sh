#!/usr/bin/env bash
# scripts/build-launcher refuses bad inputs with one line on standard error
# and exit code 1, before anything is configured or compiled: every build
# step goes through cmake, and the cmake found first on PATH here only
# records that it was called.
#   build_launcher_refusals.sh WORK_DIR
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
work="$1"
rm -rf "$work"
mkdir -p "$work/shims" "$work/app/bin" "$work/a-file"
work="$(realpath "$work")"
cat >"$work/shims/cmake" <<SHIM
#!/bin/sh
echo "cmake \$*" >>"$work/cmake-calls"
exit 1
SHIM
chmod +x "$work/shims/cmake"
printf 'program\n' >"$work/app/bin/app.exe"
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
refused "--version 1.2.3: want four numbers, as 1.20.0.0" "${app[@]}" "${out[@]}" --version 1.2.3
refused "--version 1.2.3.4.5: want four numbers, as 1.20.0.0" "${app[@]}" "${out[@]}" --version 1.2.3.4.5
refused "--version 1.x.0.0: want four numbers, as 1.20.0.0" "${app[@]}" "${out[@]}" --version 1.x.0.0
refused "--version 1.65536.0.0: each number must be at most 65535" "${app[@]}" "${out[@]}" --version 1.65536.0.0
refused "--version 1.0.0.000001: each number must be at most 65535" "${app[@]}" "${out[@]}" --version 1.0.0.000001
refused "$work/picture.png is not an icon (.ico) file" "${app[@]}" "${out[@]}" --icon "$work/picture.png"
refused "$work/no-images.ico is not an icon (.ico) file" "${app[@]}" "${out[@]}" --icon "$work/no-images.ico"
refused "no such icon file: $work/none.ico" "${app[@]}" "${out[@]}" --icon "$work/none.ico"
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

# The same inputs made sound reach the configure step.
rm -f "$work/cmake-calls"
PATH="$work/shims:$PATH" "$root/scripts/build-launcher" --build-dir "$work/build" \
  --payload "$work/payload.bin" --version 1.2.3.65535 --icon "$root/resources/qarvel.ico" \
  "${out[@]}" >/dev/null 2>&1 || true
[ -e "$work/cmake-calls" ] || { echo "FAIL: a sound build never reached cmake" >&2; failures=$((failures + 1)); }

[ $failures -eq 0 ] || exit 1
echo "build_launcher_refusals: every bad input refused before cmake"
