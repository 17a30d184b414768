#!/usr/bin/env bash
# scripts/build-launcher refuses bad inputs with one line on standard error
# and exit code 1, and writes nothing: its own checks, and qarvel-pack's
# refusals of the identity in the script's name. Values that look like
# options or keywords are handed to qarvel-pack as values.
#   build_launcher_refusals.sh QARVEL_PACK WORK_DIR
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
export QARVEL_PACK="$1"
work="$2"
rm -rf "$work"
mkdir -p "$work/shims" "$work/app/bin" "$work/a-file"
work="$(realpath "$work")"
# A qarvel-pack that only records its arguments, one a line.
cat >"$work/shims/qarvel-pack" <<SHIM
#!/bin/sh
printf '%s\n' "\$@" >"$work/pack-arguments"
exit 1
SHIM
chmod +x "$work/shims/qarvel-pack"
python3 "$QARVEL_ROOT/tests/tools/windows_program.py" "$work/app/bin/app.exe"
"$QARVEL_PACK" create "$work/app" --main 'bin\app.exe' -o "$work/payload.bin" --quiet
printf '\x89PNG\r\n\x1a\n not an icon' >"$work/picture.png"
printf '\0\0\1\0\0\0' >"$work/no-images.ico"
: >"$work/a-file/plain"

# refused EXPECTED_LINE ARGUMENT...: the launcher is refused with exactly
# that line, and no file is written.
refused() {
  local expected="$1" status=0
  shift
  rm -rf "$work/out"
  "$QARVEL_ROOT/scripts/build-launcher" "$@" >"$work/stdout" 2>"$work/stderr" || status=$?
  local problem=""
  [ "$status" -eq 1 ] || problem="exit code $status"
  [ "$(cat "$work/stderr")" = "build-launcher: $expected" ] || problem+=" stderr '$(cat "$work/stderr")'"
  [ ! -s "$work/stdout" ] || problem+=" stdout '$(cat "$work/stdout")'"
  [ -z "$(ls -A "$work/out" 2>/dev/null)" ] || problem+=" wrote $(ls -A "$work/out")"
  if [ -n "$problem" ]; then failed "$* ($expected):$problem"; fi
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
refused "--quick-check cannot be combined with --elevated: an elevated launch opens every file to check who may change it" \
  "${app[@]}" "${out[@]}" --quick-check --elevated
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

# Sound inputs reach qarvel-pack, and so do values that look like options
# or like the CMake function's keywords, each as the value it is.
pack_arguments() {
  rm -f "$work/pack-arguments"
  QARVEL_PACK="$work/shims/qarvel-pack" "$QARVEL_ROOT/scripts/build-launcher" \
    --payload "$work/payload.bin" "${out[@]}" "$@" >/dev/null 2>&1 || true
  [ -e "$work/pack-arguments" ] || failed "$* never reached qarvel-pack"
}
# given OPTION VALUE: qarvel-pack was given OPTION with VALUE after it.
given() {
  awk -v option="$1" -v value="$2" 'previous == option && $0 == value { found = 1 }
    { previous = $0 } END { exit !found }' "$work/pack-arguments" \
    || failed "qarvel-pack was not given $1 '$2': $(tr '\n' ' ' <"$work/pack-arguments")"
}
pack_arguments --version 1.2.3.65535 --icon "$QARVEL_ROOT/resources/qarvel.ico" --company ' . Acme'
given --version 1.2.3.65535
given --company ' . Acme'
pack_arguments --product ELEVATED --description VERSION --company ICON --copyright --elevated \
  --internal-name -o --original-filename '' --target-spec 'a;b'
for pair in "--product|ELEVATED" "--description|VERSION" "--company|ICON" "--copyright|--elevated" \
  "--internal-name|-o" "--target-spec|a;b" "-o|$work/out/app.exe"; do
  given "${pair%%|*}" "${pair#*|}"
done
[ "$(grep -cx -- --elevated "$work/pack-arguments")" = 1 ] || failed "--elevated was taken as a flag"
pack_arguments --quick-check
grep -qx -- --quick-check "$work/pack-arguments" || failed "--quick-check never reached qarvel-pack"
# Fixed arguments reach qarvel-pack in their = form, an empty one and one
# with a leading dash included; a variable likewise.
pack_arguments --arg '{APP_DIR}\main.js' --arg '' --arg --no-deprecation --env 'NODE_ENV=a b'
for line in '--arg={APP_DIR}\main.js' '--arg=' '--arg=--no-deprecation' '--env=NODE_ENV=a b'; do
  grep -qxF -- "$line" "$work/pack-arguments" || failed "qarvel-pack was not given '$line'"
done
! grep -qx -- --original-filename "$work/pack-arguments" || failed "an empty value was given"

# An elevated launcher whose folder starts in one of the user's warns, once,
# in qarvel-pack's words; one below Program Files does not.
for case in "1|{Home}\Acme" "0|{PROGRAM_FILES}\Acme" "0|"; do
  "$QARVEL_ROOT/scripts/build-launcher" --payload "$work/payload.bin" -o "$work/elevated.exe" \
    --elevated --target-spec "${case#*|}" >/dev/null 2>"$work/stderr" || failed "--elevated '${case#*|}' was refused"
  count="$(grep -c '^build-launcher: warning: this launcher asks for administrator rights' "$work/stderr" || true)"
  [ "$count" = "${case%%|*}" ] \
    || failed "--elevated --target-spec '${case#*|}': $count warnings, want ${case%%|*}: $(cat "$work/stderr")"
done

finish "build_launcher_refusals: every bad input refused, with nothing written"
