#!/usr/bin/env bash
# The README's CMake example, built as a user would build it (qarvel-pack
# made from the sources by the function itself), then run under Wine. That
# qarvel-pack carries no launcher image: it refuses to make launchers with
# one line and keeps its other commands.
#   build_example.sh ZSTD_SOURCE BUILD_DIR
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../../.." && pwd)"
zstd_source="$1"
build="$2"
cmake --no-warn-unused-cli -S "$root/examples/onefile-app" -B "$build" -G Ninja \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
  -DQARVEL_ZSTD_SOURCE="$zstd_source" >"$build.configure.log" 2>&1 \
  || { cat "$build.configure.log"; exit 1; }
cmake --build "$build" -j 2 >"$build.build.log" 2>&1 || { cat "$build.build.log"; exit 1; }
output="$(cd "$build" && wine ./hello-onefile.exe)"
echo "$output"
grep -q . <<<"$output" || { echo "FAIL: the example printed nothing"; exit 1; }
pack="$build/qarvel-pack-host/packer/qarvel-pack"
"$pack" list "$build/hello-onefile.exe" | grep -q ' hello.exe$' || { echo "FAIL: list without an image"; exit 1; }
status=0
"$pack" launcher --payload "$build/hello-onefile.exe" -o "$build/made.exe" 2>"$build.refusal" || status=$?
if [ $status -ne 1 ] || [ "$(wc -l <"$build.refusal")" -ne 1 ] || [ -e "$build/made.exe" ] \
  || ! grep -q "built without a launcher image" "$build.refusal"; then
  echo "FAIL: a qarvel-pack without an image made a launcher or did not say why (exit $status):"
  cat "$build.refusal"
  exit 1
fi
echo PASS
