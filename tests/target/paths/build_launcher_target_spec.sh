#!/usr/bin/env bash
# Builds a launcher with scripts/build-launcher and a target spec that uses
# tokens, runs it under Wine and checks where the echo child was unpacked.
#
#   build_launcher_target_spec.sh PAYLOAD_FORGE ECHO_CHILD WORK_DIR
source "$(dirname "${BASH_SOURCE[0]}")/../../scripts/lib.sh"

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
root="$QARVEL_ROOT"
forge="$1" echo_child="$2" work="$3"

mkdir -p "$work"
work="$(realpath "$work")"
rm -rf "$work/run"
mkdir -p "$work/run"
"$forge" -o "$work/payload.bin" --entry "main.exe=@$echo_child"
"$root/scripts/build-launcher" --payload "$work/payload.bin" \
  --target-spec '{PROGRAM_DIR}\built\{PRODUCT} {version}\{COMPANY}' \
  --company 'Acme & Co' --product 'Tool Box' --version 3.1.4.1 -o "$work/run/tool.exe" >/dev/null

report="$(wine "$work/run/tool.exe" 2>/dev/null | tr -d '\r')"
expected="exe=Z:${work//\//\\}\\run\\built\\Tool Box 3.1.4.1\\Acme & Co\\main.exe"
if ! grep -qxF -- "$expected" <<<"$report"; then
  echo "FAIL: expected $expected" >&2
  grep '^exe=' <<<"$report" >&2 || echo "no report; got: $report" >&2
  exit 1
fi
echo "build_launcher_target_spec: the launcher unpacked into its spec's directory"
