#!/usr/bin/env bash
# Application folders built with scripts/build-launcher and different
# identities, without --target-spec, unpack under Wine into cache folders
# named after them. Only a build that keeps the example identity
# warns, once, and so does qarvel_add_onefile_launcher in its configure step.
#   identity_cache_folders.sh ECHO_CHILD WORK_DIR
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
root="$QARVEL_ROOT"
echo_child="$1"
work="$2"
mkdir -p "$work"
work="$(realpath "$work")"
rm -rf "$work/apps" "$work/out"


# The products carry the process id, so that the folders they name in the
# prefix's local application data are this run's own.
local_appdata="$(wine cmd.exe /c echo '%LOCALAPPDATA%' 2>/dev/null | tr -d '\r')"
local_appdata_unix="$(winepath -u "$local_appdata" 2>/dev/null)"
company_folder="$local_appdata_unix/AcmeTools"
trap 'rm -rf "$company_folder"' EXIT

build() {
  local name="$1"
  shift
  mkdir -p "$work/apps/$name"
  cp "$echo_child" "$work/apps/$name/main.exe"
  printf '%s\n' "$name" >"$work/apps/$name/which.txt"
  "$root/scripts/build-launcher" --app-dir "$work/apps/$name" --main main.exe \
    -o "$work/out/$name.exe" "$@" 2>"$work/$name.stderr" >/dev/null \
    || { cat "$work/$name.stderr" >&2; fail "building $name"; }
}

# name product version folder [more options...]: a launcher of company Acme
# Tools unpacks into that folder, and only there. A patch version gets a
# folder of its own; values that read as options or as the CMake function's
# keywords are values, and ask for no administrator rights.
cases=(
  "alpha|Alpha $$|4.2.0.0|Alpha $$\\4.2"
  "alpha-patch|Alpha $$|4.2.1.0|Alpha $$\\4.2.1"
  "keywords|ELEVATED|3.0.0.7|ELEVATED\\3.0.0.7|--description|VERSION|--copyright|ICON|--internal-name|--windowed"
)
for case in "${cases[@]}"; do
  IFS='|' read -r -a fields <<<"$case"
  name="${fields[0]}" product="${fields[1]}" version="${fields[2]}" folder="${fields[3]}"
  more=("${fields[@]:4}")
  build "$name" --company "Acme Tools" --product "$product" --version "$version" "${more[@]}"
  [ ! -s "$work/$name.stderr" ] || fail "the build of $name printed: $(cat "$work/$name.stderr")"
  report="$(wine "$work/out/$name.exe" 2>/dev/null | tr -d '\r')" || fail "$name.exe exited with $?"
  expected="exe=$local_appdata\\AcmeTools\\$folder\\main.exe"
  grep -qxF -- "$expected" <<<"$report" \
    || fail "$name.exe: expected $expected, got $(grep '^exe=' <<<"$report" || echo "$report")"
  [ "$(cat "$company_folder/${folder//\\//}/which.txt")" = "$name" ] \
    || fail "$name's files are not in their own cache folder"
done
# The image says what it was given, and runs as the invoker.
bash "$root/tests/target/resources/check_image.sh" "$work/out/keywords.exe" --company "Acme Tools" \
  --product ELEVATED --version 3.0.0.7 --description VERSION --copyright ICON \
  --internal-name --windowed --target-spec '{CACHE_DIR}\AcmeTools\ELEVATED\3.0.0.7' \
  || fail "the image of the keywords build"

# Without any identity option the launcher is built, with one warning.
build example
grep -q 'warning: .*example identity' "$work/example.stderr" \
  && [ "$(wc -l <"$work/example.stderr")" -eq 1 ] \
  || fail "the build that keeps the example identity warned: '$(cat "$work/example.stderr")'"
# qarvel_add_onefile_launcher warns CMake users in the same case.
mkdir -p "$work/project"
cat >"$work/project/CMakeLists.txt" <<CMAKE
cmake_minimum_required(VERSION 3.25)
project(example_identity NONE)
include("$root/cmake/QarvelOnefile.cmake")
qarvel_add_onefile_launcher(example APP_DIR "$work/apps/example" MAIN main.exe)
CMAKE
cmake -S "$work/project" -B "$work/project-build" -DQARVEL_PACK="${QARVEL_PACK:?}" \
  >"$work/configure.log" 2>&1 || { cat "$work/configure.log" >&2; fail "configuring the project"; }
# CMake wraps its warnings' lines.
tr -s '[:space:]' ' ' <"$work/configure.log" | grep -q 'keeps the example' || fail "CMake did not warn"
echo "identity_cache_folders: each product in its own cache folder"
