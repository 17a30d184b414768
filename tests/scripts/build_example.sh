#!/usr/bin/env bash
# The README's CMake example, built as a user would build it: with the
# mingw-w64 toolchain and no QARVEL_PACK, the function builds the launcher
# image and a native qarvel-pack carrying it from the sources, and that
# qarvel-pack makes the launcher; then it runs under Wine.
#   build_example.sh ZSTD_SOURCE BUILD_DIR
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
zstd_source="$1"
build="$2"
cmake -S "$QARVEL_ROOT/examples/onefile-app" -B "$build" -G Ninja \
  -DCMAKE_TOOLCHAIN_FILE="$QARVEL_ROOT/cmake/mingw-w64-x86_64.cmake" \
  -DQARVEL_ZSTD_SOURCE="$zstd_source" >"$build.configure.log" 2>&1 \
  || { cat "$build.configure.log"; fail "configuring failed"; }
cmake --build "$build" -j 2 >"$build.build.log" 2>&1 || { cat "$build.build.log"; fail "building failed"; }
output="$(cd "$build" && wine ./hello-onefile.exe)"
echo "$output"
grep -q . <<<"$output" || fail "the example printed nothing"
pack="$build/qarvel-pack-host/packer/qarvel-pack"
"$pack" list "$build/hello-onefile.exe" | grep -q ' hello.exe$' || fail "the launcher does not carry hello.exe"
# The launcher is the image the project built, completed: its code is the
# image's.
image="$build/launcher-image/qarvel-launcher-image.exe"
text() { x86_64-w64-mingw32-objcopy -O binary --only-section=.text "$1" /dev/stdout; }
cmp -s <(text "$image") <(text "$build/hello-onefile.exe") \
  || fail "the launcher's code is not the image's"
echo PASS
