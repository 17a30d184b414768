#!/usr/bin/env bash
# Two application folders built with scripts/build-launcher and different
# products, without --target-spec, unpack under Wine into two cache folders
# named after their identities. Only a build that keeps the example identity
# warns, once, and so does qarvel_add_onefile_launcher in its configure step.
#   identity_cache_folders.sh ECHO_CHILD WORK_DIR
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
source "$root/scripts/lib/setup.sh"
echo_child="$1"
work="$2"
mkdir -p "$work"
work="$(realpath "$work")"
rm -rf "$work/apps" "$work/out"

fail() { echo "FAIL: $*" >&2; exit 1; }

# The products carry the process id, so that the folders they name in the
# prefix's local application data are this run's own.
local_appdata="$(wine cmd.exe /c echo '%LOCALAPPDATA%' 2>/dev/null | tr -d '\r')"
local_appdata_unix="$(winepath -u "$local_appdata" 2>/dev/null)"
company_folder="$local_appdata_unix/AcmeTools"
trap 'rm -rf "$company_folder"' EXIT

# The build folder is shared: only the first build compiles.
build() {
  local name="$1"
  shift
  mkdir -p "$work/apps/$name"
  cp "$echo_child" "$work/apps/$name/main.exe"
  printf '%s\n' "$name" >"$work/apps/$name/which.txt"
  "$root/scripts/build-launcher" --app-dir "$work/apps/$name" --main main.exe --build-dir "$work/build" \
    -o "$work/out/$name.exe" "$@" 2>"$work/$name.stderr" >/dev/null \
    || { cat "$work/$name.stderr" >&2; fail "building $name"; }
}

for product in Alpha Beta; do
  build "$product" --company "Acme Tools" --product "$product $$" --version 4.2.0.9
  [ ! -s "$work/$product.stderr" ] || fail "the build of $product printed: $(cat "$work/$product.stderr")"
  ! grep -q 'example identity' "$work/build/configure.log" || fail "CMake warned about $product"
  report="$(wine "$work/out/$product.exe" 2>/dev/null | tr -d '\r')" || fail "$product.exe exited with $?"
  expected="exe=$local_appdata\\AcmeTools\\$product $$\\4.2\\main.exe"
  grep -qxF -- "$expected" <<<"$report" \
    || fail "$product.exe: expected $expected, got $(grep '^exe=' <<<"$report" || echo "$report")"
  [ "$(cat "$company_folder/$product $$/4.2/which.txt")" = "$product" ] \
    || fail "$product's files are not in their own cache folder"
done

# Without any identity option the launcher is built, with one warning.
build example
grep -q 'warning: .*example identity' "$work/example.stderr" \
  && [ "$(wc -l <"$work/example.stderr")" -eq 1 ] \
  || fail "the build that keeps the example identity warned: '$(cat "$work/example.stderr")'"
# qarvel_add_onefile_launcher warns CMake users in the same case.
grep -q 'keeps the example identity' "$work/build/configure.log" || fail "CMake did not warn"
echo "identity_cache_folders: each product in its own cache folder"
