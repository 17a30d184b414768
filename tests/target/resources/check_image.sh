#!/usr/bin/env bash
# Reads a launcher image with the ordinary PE tools and checks its header,
# version information, manifest, icon group and cache folder template.
#
#   check_image.sh EXE [--company S] [--product S] [--version A.B.C.D] [--icon FILE]
#                      [--copyright S] [--description S] [--original-filename S]
#                      [--internal-name S] [--elevated] [--windowed] [--target-spec T]
#
# Without options the image must carry the default names, version, icon and
# cache folder, no copyright, the product as its description, its own file
# name as the original one (without .exe as the internal name), be a console
# program and ask to run as the invoker; the default icon must hold the
# seven sizes from 16 to 256 pixels. Every launcher but the elevated console
# one declares the Common Controls 6 dependency.
source "$(dirname "${BASH_SOURCE[0]}")/../../scripts/lib.sh"

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
root="$QARVEL_ROOT"

exe="${1:?usage: check_image.sh EXE [OPTION VALUE]... [--elevated]}"
shift
company="Lumbrook Crafts" product="Quillowmere" version="1.20.0.0" icon="$root/resources/qarvel.ico"
default_icon=1
copyright="" description="" original_filename="$(basename "$exe")" internal_name="" level=asInvoker
target_spec='{CACHE_DIR}\LumbrookCrafts\Quillowmere\1.20'
elevated=0 subsystem="00000003 (Windows CUI)"
while [ $# -gt 0 ]; do
  case "$1" in
    --company) company="$2"; shift 2 ;;
    --product) product="$2"; shift 2 ;;
    --version) version="$2"; shift 2 ;;
    --icon) icon="$2"; default_icon=0; shift 2 ;;
    --copyright) copyright="$2"; shift 2 ;;
    --description) description="$2"; shift 2 ;;
    --original-filename) original_filename="$2"; shift 2 ;;
    --internal-name) internal_name="$2"; shift 2 ;;
    --elevated) level=requireAdministrator elevated=1; shift ;;
    --windowed) subsystem="00000002 (Windows GUI)"; shift ;;
    --target-spec) target_spec="$2"; shift 2 ;;
    *) echo "check_image: unknown option $1" >&2; exit 2 ;;
  esac
done

description="${description:-$product}"
internal_name="${internal_name:-${original_filename%.*}}"

# expect_line GROUP TEXT LINE: TEXT must hold LINE as a whole line.
expect_line() { grep -Fxq -- "$3" <<<"$2" || failed "[$exe] $1: no line '$3'"; }
# Ends the check if anything failed so far.
summary() {
  if [ $failures -ne 0 ]; then
    echo "check_image: $failures problem(s) in $exe" >&2
    exit 1
  fi
}

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

# Header: whitespace runs become one space so fields read as "Name value".
header="$(TZ=UTC x86_64-w64-mingw32-objdump -p "$exe" | sed -E 's/[[:space:]]+/ /g; s/^ //; s/ $//')"
grep -q 'file format pei-x86-64$' <<<"$header" || failed "[$exe] header: not a PE32+ x86-64 image"
for line in \
  "Magic 020b (PE32+)" \
  "Time/Date Thu Jan 1 00:00:00 1970" \
  "MajorOSystemVersion 6" "MinorOSystemVersion 0" \
  "MajorSubsystemVersion 6" "MinorSubsystemVersion 0" \
  "Subsystem $subsystem" \
  "HIGH_ENTROPY_VA" "DYNAMIC_BASE" "NX_COMPAT" "TERMINAL_SERVICE_AWARE" \
  "SizeOfStackReserve 0000000000968000" "SizeOfStackCommit 0000000000001000"; do
  expect_line header "$header" "$line"
done
# Randomised addresses need the relocations to stay in the image.
grep -Eq '^Entry 5 0*[1-9a-f][0-9a-f]* [0-9a-f]+ Base Relocation Directory' <<<"$header" \
  || failed "[$exe] header: no base relocations"

resources="$(wrestool -l "$exe" || true)"
count_of() { grep -c -- "--type=$1 " <<<"$resources" || true; }
[ "$(count_of 16)" -eq 1 ] || failed "[$exe] resources: want one version resource"
[ "$(count_of 24)" -eq 1 ] || failed "[$exe] resources: want one manifest"
[ "$(count_of 14)" -eq 1 ] || failed "[$exe] resources: want one icon group"
# Nothing further can be read from an image that lacks one of them.
[ "$(count_of 16)$(count_of 24)$(count_of 14)" = 111 ] || summary

# Version information, fixed part and U.S. English strings.
if ! info="$(wrestool -x --raw -t 16 "$exe" | python3 "$here/version_info.py")"; then
  failed "[$exe] version: unreadable"
fi
for line in \
  "FileVersion=$version" "ProductVersion=$version" "FileOS=0x40004" "FileType=1" \
  "040904B0/CompanyName=$company" "040904B0/ProductName=$product" \
  "040904B0/FileVersion=$version" "040904B0/ProductVersion=$version" \
  "040904B0/FileDescription=$description" "040904B0/OriginalFilename=$original_filename" \
  "040904B0/InternalName=$internal_name"; do
  expect_line version "$info" "$line"
done
if [ -n "$copyright" ]; then
  expect_line version "$info" "040904B0/LegalCopyright=$copyright"
elif grep -q '^040904B0/LegalCopyright=' <<<"$info"; then
  failed "[$exe] version: a copyright line that was not asked for"
fi
[ "$(grep -c '^040904B0/' <<<"$info")" -eq "$([ -n "$copyright" ] && echo 8 || echo 7)" ] \
  || failed "[$exe] version: other strings than expected"$'\n'"$info"

# The cache folder's template is a wide string in the read-only data.
python3 - "$exe" "$target_spec" <<'PYTHON' || failed "[$exe] cache folder: no template $target_spec"
import sys
image = open(sys.argv[1], "rb").read()
sys.exit(0 if (sys.argv[2].encode("utf-16-le") + b"\0\0") in image else 1)
PYTHON

# Licence notices: RCDATA 1, the texts that zstd's and the mingw-w64
# runtime's licences ask a binary to carry.
if [ "$(count_of 10)" -ne 1 ] || ! grep -q -- '--type=10 --name=1 ' <<<"$resources"; then
  failed "[$exe] notices: want one RCDATA resource 1"
else
  wrestool -x --raw -t 10 -n 1 "$exe" | tr -d '\r' >"$work/notices.txt"
  for text in \
    "For Zstandard software" \
    "Copyright (c) Meta Platforms, Inc. and affiliates. All rights reserved." \
    "Copyright: 2009-2016 the mingw-w64 project" \
    "2. Redistributions in binary form must reproduce the accompanying" \
    "Copyright: 1997-2001 Lucent Technologies" \
    "Jean-loup Gailly and Mark Adler"; do
    grep -Fq -- "$text" "$work/notices.txt" || failed "[$exe] notices: no line '$text'"
  done
fi

# Manifest: resource 1, the one the loader reads for a process.
grep -q -- '--type=24 --name=1 ' <<<"$resources" || failed "[$exe] manifest: not resource 1"
wrestool -x --raw -t 24 -n 1 "$exe" >"$work/manifest.xml"
python3 -c 'import sys, xml.dom.minidom; xml.dom.minidom.parse(sys.argv[1])' "$work/manifest.xml" \
  || failed "[$exe] manifest: not well-formed XML"
manifest="$(tr -s '[:space:]' ' ' <"$work/manifest.xml")"
for text in \
  "<requestedExecutionLevel level=\"$level\" uiAccess=\"false\"/>" \
  '<longPathAware xmlns="http://schemas.microsoft.com/SMI/2016/WindowsSettings">true</longPathAware>' \
  '<supportedOS Id="{e2011457-1546-43c5-a5fe-008deee3d3f0}"/>' \
  '<supportedOS Id="{35138b9a-5d96-4fbd-8e2d-a2440225f93a}"/>' \
  '<supportedOS Id="{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}"/>' \
  '<supportedOS Id="{1f676c76-80e1-4239-95bb-83d0f6d0da78}"/>' \
  '<supportedOS Id="{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"/>'; do
  grep -Fq -- "$text" <<<"$manifest" || failed "[$exe] manifest: lacks $text"
done
controls='<dependency> <dependentAssembly> <assemblyIdentity type="win32" name="Microsoft.Windows.Common-Controls" version="6.0.0.0" processorArchitecture="*" publicKeyToken="6595b64144ccf1df" language="*"/> </dependentAssembly> </dependency>'
if [ "$elevated" -eq 1 ] && [ "$subsystem" = "00000003 (Windows CUI)" ]; then
  ! grep -Eq '<dependency|Common-Controls' <<<"$manifest" || failed "[$exe] manifest: a dependency the elevated console launcher does not use"
else
  grep -Fq -- "$controls" <<<"$manifest" || failed "[$exe] manifest: lacks $controls"
fi

# Icon group: the same images, in the same order, as the icon file.
mkdir -p "$work/built" "$work/given"
wrestool -x -t 14 "$exe" >"$work/built/icon.ico"
cp "$icon" "$work/given/icon.ico"
built_list="$(icotool -l "$work/built/icon.ico")" || failed "[$exe] icon: unreadable group"
given_list="$(icotool -l "$work/given/icon.ico")"
[ "$built_list" = "$given_list" ] || failed "[$exe] icon: images differ from $icon"$'\n'"$built_list"
if [ $default_icon -eq 1 ]; then
  index=0
  for size in 16 24 32 48 64 128 256; do
    index=$((index + 1))
    expect_line icon "$built_list" \
      "--icon --index=$index --width=$size --height=$size --bit-depth=32 --palette-size=0"
  done
  [ "$(wc -l <<<"$built_list")" -eq 7 ] || failed "[$exe] icon: want seven images"
fi
icotool -x -o "$work/built" "$work/built/icon.ico"
icotool -x -o "$work/given" "$work/given/icon.ico"
rm "$work/built/icon.ico" "$work/given/icon.ico"
diff -r "$work/built" "$work/given" >/dev/null || failed "[$exe] icon: pixels differ from $icon"

summary
echo "check_image: $exe is sound"
