#!/usr/bin/env bash
# qarvel_add_onefile_launcher refuses a bad identity with qarvel-pack's one
# line, and a value equal to one of its keywords, which it cannot tell from
# the keyword. With QARVEL_PACK existing when it is called, the configure
# step fails and nothing is built; with a QARVEL_PACK that is not there yet,
# the build stops at the launcher with qarvel-pack's line and writes none. It
# warns when an elevated launcher's folder starts in one of the user's.
#   onefile_function_refusals.sh QARVEL_PACK WORK_DIR
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
root="$QARVEL_ROOT"
pack="$1"
work="$2"
rm -rf "$work"
mkdir -p "$work/project"
work="$(realpath "$work")"
printf 'payload\n' >"$work/project/payload.bin"
printf 'GIF89a, not an icon\n' >"$work/project/picture.ico"
# The call's arguments after PAYLOAD come from QARVEL_CASE, as CMake code.
cat >"$work/project/CMakeLists.txt" <<CMAKE
cmake_minimum_required(VERSION 3.25)
project(function_refusals LANGUAGES C CXX)
include("$root/cmake/QarvelOnefile.cmake")
cmake_language(EVAL CODE "qarvel_add_onefile_launcher(app PAYLOAD payload.bin \${QARVEL_CASE})")
CMAKE

configure() {
  cmake -S "$work/project" -B "$1" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" "${@:2}"
}

# refused EXPECTED_TEXT CASE: configuring with the call's arguments CASE fails
# and says "qarvel_add_onefile_launcher(app): EXPECTED_TEXT". One build
# folder serves every case, so the compilers are looked at once.
refused() {
  local expected="qarvel_add_onefile_launcher(app): $1" log="$work/case-$((++case_number)).log"
  if configure "$work/build" -DQARVEL_PACK="$pack" -DQARVEL_CASE="$2" >"$log" 2>&1; then
    echo "FAIL: $2 was accepted" >&2
    failures=$((failures + 1))
  elif ! grep -qF -- "$expected" <<<"$(tr -s '[:space:]' ' ' <"$log")"; then
    echo "FAIL: $2: no '$expected' in:" >&2
    cat "$log" >&2
    failures=$((failures + 1))
  fi
}
case_number=0
device="it is a device name, which Windows opens as a device; give a target spec"
refused "version 1.2.3: want four numbers, as 1.20.0.0" 'VERSION 1.2.3'
refused "version 1.2.3.65536: each number must be at most 65535" 'VERSION 1.2.3.65536'
refused "$work/project/picture.ico is not an icon (.ico) file" 'ICON picture.ico'
refused "no such icon file: $work/project/none.ico" 'ICON none.ico'
refused 'the company "<?>" leaves no name for the cache folder; give a target spec' 'COMPANY "<?>"'
refused "the product \"CON\" leaves the cache folder name 'CON': $device" 'PRODUCT CON'
refused "the company \"lpt² .txt\" leaves the cache folder name 'lpt².txt': $device" 'COMPANY "lpt² .txt"'
refused "the product holds a control character" 'PRODUCT "a\tb"'
refused "the value of PRODUCT is ELEVATED, which this function can only read as a keyword" \
  'PRODUCT ELEVATED'
refused "the value of DESCRIPTION is VERSION, which this function can only read as a keyword" \
  'DESCRIPTION VERSION VERSION 1.0.0.0'
refused "the value of COMPANY is ICON, which this function can only read as a keyword" \
  'COMPANY ICON'
refused "INTERNAL_NAME has no value" 'COMPANY Acme INTERNAL_NAME'
refused "QUICK_CHECK cannot be combined with ELEVATED" 'QUICK_CHECK ELEVATED'
refused "the target spec {LOCALAPPDATA}\\Acme holds the unknown token {LOCALAPPDATA}; the tokens are" \
  'TARGET_SPEC [[{LOCALAPPDATA}\Acme]]'
# Configured with the host compiler, the function makes its launcher with
# qarvel-pack, and reads its arguments the same way.
if cmake -S "$work/project" -B "$work/build-host" -G Ninja -DCMAKE_TOOLCHAIN_FILE= \
  -DQARVEL_PACK="$pack" -DQARVEL_CASE='PRODUCT ELEVATED' >"$work/host.log" 2>&1; then
  echo "FAIL: PRODUCT ELEVATED was accepted with the host compiler" >&2
  failures=$((failures + 1))
elif ! grep -qF "the value of PRODUCT is ELEVATED" <<<"$(tr -s '[:space:]' ' ' <"$work/host.log")"; then
  echo "FAIL: PRODUCT ELEVATED with the host compiler:" >&2
  cat "$work/host.log" >&2
  failures=$((failures + 1))
fi

# The same call made sound configures; a value that only contains a keyword
# is a value.
configure "$work/build" -DQARVEL_PACK="$pack" -DQARVEL_CASE='COMPANY "ICON Co" PRODUCT "-ELEVATED"' \
  >"$work/sound.log" 2>&1 \
  || { echo "FAIL: a sound call was refused:" >&2; cat "$work/sound.log" >&2; failures=$((failures + 1)); }

# A qarvel-pack that does not exist yet checks the identity when the build
# makes the launcher: the build stops there with its line.
configure "$work/build-later" -DQARVEL_PACK="$work/later/qarvel-pack" -DQARVEL_CASE='PRODUCT "NUL.log"' \
  >"$work/later.configure.log" 2>&1 \
  || { echo "FAIL: configuring for a later qarvel-pack:" >&2; cat "$work/later.configure.log" >&2; exit 1; }
mkdir -p "$work/later"
cp "$pack" "$work/later/qarvel-pack"
expected="qarvel-pack: error: the product \"NUL.log\" leaves the cache folder name 'NUL.log': $device"
if cmake --build "$work/build-later" -j 2 >"$work/later.build.log" 2>&1; then
  echo "FAIL: the build with a device name as the product succeeded" >&2
  failures=$((failures + 1))
elif ! grep -qF -- "$expected" <<<"$(tr -s '[:space:]' ' ' <"$work/later.build.log")" \
  || [ -e "$work/build-later/app.exe" ]; then
  echo "FAIL: the build did not stop at the launcher with '$expected':" >&2
  cat "$work/later.build.log" >&2
  failures=$((failures + 1))
fi

# warned YES|NO CASE: configuring with the call's arguments CASE succeeds,
# with or without the elevated launcher's warning.
warned() {
  local log="$work/case-$((++case_number)).log"
  local text="starts in a folder that programs without administrator rights may change"
  if ! configure "$work/build" -DQARVEL_PACK="$pack" -DQARVEL_CASE="$2" >"$log" 2>&1; then
    echo "FAIL: $2 was refused:" >&2
    cat "$log" >&2
    failures=$((failures + 1))
  elif [ "$(tr -s '[:space:]' ' ' <"$log" | grep -cF -- "$text")" != "$([ "$1" = YES ] && echo 1 || echo 0)" ]; then
    echo "FAIL: $2: expected the warning: $1; got:" >&2
    cat "$log" >&2
    failures=$((failures + 1))
  fi
}
warned YES 'ELEVATED TARGET_SPEC [[{CACHE_DIR}\Acme\Tool]]'
warned YES 'ELEVATED TARGET_SPEC [[{program_dir}\cache]]'
warned NO 'ELEVATED TARGET_SPEC [[{PROGRAM_FILES}\Acme\Tool]]'
warned NO 'ELEVATED COMPANY Acme'
warned NO 'TARGET_SPEC [[{TEMP}\Acme\Tool]]'
# A relative target spec is warned of, with qarvel-pack's words.
log="$work/relative.log"
text="the target spec relq\\x does not start at a drive (C:\\) or a folder token"
if ! configure "$work/build" -DQARVEL_PACK="$pack" -DQARVEL_CASE='TARGET_SPEC [[relq\x]]' >"$log" 2>&1; then
  echo "FAIL: a relative target spec was refused:" >&2
  cat "$log" >&2
  failures=$((failures + 1))
elif ! tr -s '[:space:]' ' ' <"$log" | grep -qF -- "$text"; then
  echo "FAIL: a relative target spec was not warned of:" >&2
  cat "$log" >&2
  failures=$((failures + 1))
fi

[ $failures -eq 0 ] || exit 1
echo "onefile_function_refusals: each bad input refused when the function is called, or at the start of the build"
