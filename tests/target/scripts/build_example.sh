#!/usr/bin/env bash
# The README's CMake example, built as a user would build it (qarvel-pack
# made from the sources by the function itself), then run under Wine.
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
echo PASS
