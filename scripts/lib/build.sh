# Builds the three parts, each in a build folder of its own below
# $QARVEL_BUILD: image/ (the launcher image, mingw-w64), host/ (qarvel-pack
# and its tests, which carry that image) and target/ (qarvel-pack.exe, the
# demo, the bench and the tests that run under Wine). Source after setup.sh.

QARVEL_BUILD="${QARVEL_BUILD:-$QARVEL_ROOT/build}"
QARVEL_JOBS="${QARVEL_JOBS:-$(nproc)}"
# Set to ON by scripts/test; the builds' QARVEL_BUILD_TESTS follows it on
# every configure.
QARVEL_BUILD_TESTS="${QARVEL_BUILD_TESTS:-OFF}"

qarvel_configure() {
  local build_dir="$1"; shift
  cmake -S "$QARVEL_ROOT" -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=Release "$@" >/dev/null
}

# The launcher image that both qarvel-packs carry, and its notices beside it.
QARVEL_LAUNCHER_IMAGE="$QARVEL_BUILD/image/launcher-image/qarvel-launcher-image.exe"

qarvel_build_image() {
  qarvel_configure "$QARVEL_BUILD/image" "$@" \
    -DCMAKE_TOOLCHAIN_FILE="$QARVEL_ROOT/cmake/mingw-w64-x86_64.cmake" \
    -DQARVEL_ZSTD_SOURCE="$QARVEL_ZSTD_SOURCE"
  cmake --build "$QARVEL_BUILD/image" -j "$QARVEL_JOBS" >/dev/null
}

qarvel_build_host() {
  qarvel_build_image
  qarvel_configure "$QARVEL_BUILD/host" -DQARVEL_LAUNCHER_IMAGE="$QARVEL_LAUNCHER_IMAGE" \
    -DQARVEL_BUILD_TESTS="$QARVEL_BUILD_TESTS"
  cmake --build "$QARVEL_BUILD/host" -j "$QARVEL_JOBS" "$@"
  # Exported: scripts/build-launcher, run by the tests too, uses it.
  export QARVEL_PACK="$QARVEL_BUILD/host/packer/qarvel-pack"
}

# Run qarvel_build_host first: the Windows build makes its launchers with
# that qarvel-pack.
qarvel_build_target() {
  # The tests use the host build's tools.
  local tests=(-DQARVEL_BUILD_TESTS="$QARVEL_BUILD_TESTS")
  if [ "$QARVEL_BUILD_TESTS" = ON ]; then
    tests+=(-DQARVEL_PACK="$QARVEL_BUILD/host/packer/qarvel-pack" -DQARVEL_HOST_BUILD="$QARVEL_BUILD/host")
  fi
  qarvel_configure "$QARVEL_BUILD/target" \
    -DCMAKE_TOOLCHAIN_FILE="$QARVEL_ROOT/cmake/mingw-w64-x86_64.cmake" \
    -DQARVEL_ZSTD_SOURCE="$QARVEL_ZSTD_SOURCE" \
    -DQARVEL_LAUNCHER_IMAGE="$QARVEL_LAUNCHER_IMAGE" "${tests[@]}"
  cmake --build "$QARVEL_BUILD/target" -j "$QARVEL_JOBS" "$@"
}
