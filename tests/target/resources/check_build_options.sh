#!/usr/bin/env bash
# Makes the same launcher twice with scripts/build-launcher, each from a
# payload packed anew from a small folder, with its own company, product,
# version, icon, copyright, description, internal name and elevation: the
# two images must be byte-identical and carry those values.
#
#   check_build_options.sh QARVEL_PACK
source "$(dirname "${BASH_SOURCE[0]}")/../../scripts/lib.sh"

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
root="$QARVEL_ROOT"

pack="${1:?usage: check_build_options.sh QARVEL_PACK}"
export QARVEL_PACK="$pack"

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

# Quotes, a backslash and non-ASCII letters must survive every layer.
company='Ørn & "Söhne" \ Co.'
product='Quillowmere Nachtfalter'
version='2.7.65535.3'
copyright='© 2026 Ørn & "Söhne"'
description='Nachtfalter, the "moth" \ tool'
python3 "$root/resources/make_icon.py" --sizes 16,48 -o "$work/custom.ico"

mkdir -p "$work/app/data"
python3 "$root/tests/tools/windows_program.py" "$work/app/tool.exe"
printf 'some data\n' >"$work/app/data/notes.txt"

build() {
  local name="$1"; shift
  "$root/scripts/build-launcher" -o "$work/$name/tool.exe" "$@" >/dev/null
}

for name in first second; do
  "$pack" create "$work/app" --main tool.exe -o "$work/$name.payload" --quiet
  build "$name" --payload "$work/$name.payload" \
    --company "$company" --product "$product" --version "$version" --icon "$work/custom.ico" \
    --copyright "$copyright" --description "$description" --internal-name nachtfalter --elevated
done

status=0
cmp "$work/first/tool.exe" "$work/second/tool.exe" || { echo "FAIL: two builds differ" >&2; status=1; }
bash "$here/check_image.sh" "$work/first/tool.exe" \
  --company "$company" --product "$product" --version "$version" --icon "$work/custom.ico" \
  --copyright "$copyright" --description "$description" --internal-name nachtfalter --elevated \
  --target-spec '{PROGRAM_FILES}\Ørn&SöhneCo\Quillowmere Nachtfalter\2.7.65535.3' || status=1

[ $status -eq 0 ] && echo "check_build_options: reproducible, options applied"
exit $status
