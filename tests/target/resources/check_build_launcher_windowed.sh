#!/usr/bin/env bash
# scripts/build-launcher --windowed around a payload, compared with the
# console launcher the test build made from the same payload: only the
# subsystem (and the checksum that follows it) may differ.
#
#   check_build_launcher_windowed.sh PAYLOAD CONSOLE_LAUNCHER.exe
source "$(dirname "${BASH_SOURCE[0]}")/../../scripts/lib.sh"

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
root="$QARVEL_ROOT"
payload="${1:?usage: check_build_launcher_windowed.sh PAYLOAD CONSOLE_LAUNCHER.exe}"
console="${2:?usage: check_build_launcher_windowed.sh PAYLOAD CONSOLE_LAUNCHER.exe}"

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

# The version information names the output file: give it the console
# launcher's names, so that the subsystem is the only difference left.
console_name="$(basename "$console")"
"$root/scripts/build-launcher" --windowed --payload "$payload" \
  --original-filename "$console_name" --internal-name "${console_name%.exe}" \
  -o "$work/windowed.exe" >/dev/null
python3 "$here/compare_windowed_image.py" "$console" "$work/windowed.exe"
