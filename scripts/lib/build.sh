# Builds the host tools and the Windows side; source after setup.sh.

QARVEL_BUILD="${QARVEL_BUILD:-$QARVEL_ROOT/build}"
QARVEL_JOBS="${QARVEL_JOBS:-$(nproc)}"

qarvel_configure() {
  local build_dir="$1"; shift
  cmake --no-warn-unused-cli -S "$QARVEL_ROOT" -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=Release "$@" >/dev/null
}

# The launcher image that the host qarvel-pack carries: the target build's
# first product, so qarvel_build_host builds it first.
QARVEL_LAUNCHER_IMAGE="$QARVEL_BUILD/target/launcher-image/qarvel-launcher-image.exe"

qarvel_build_host() {
  QARVEL_IMAGE_BEFORE_PACKER=ON qarvel_build_target --target qarvel_launcher_image >/dev/null
  qarvel_configure "$QARVEL_BUILD/host" -DQARVEL_LAUNCHER_IMAGE="$QARVEL_LAUNCHER_IMAGE" \
    ${QARVEL_BUILD_TESTS:+-DQARVEL_BUILD_TESTS=$QARVEL_BUILD_TESTS}
  cmake --build "$QARVEL_BUILD/host" -j "$QARVEL_JOBS" "$@"
  # Exported: scripts/build-launcher, run by the tests too, uses it.
  export QARVEL_PACK="$QARVEL_BUILD/host/packer/qarvel-pack"
}

# Every target but the image needs the host build: run qarvel_build_host
# first.
qarvel_build_target() {
  qarvel_configure "$QARVEL_BUILD/target" \
    -DCMAKE_TOOLCHAIN_FILE="$QARVEL_ROOT/cmake/mingw-w64-x86_64.cmake" \
    -DQARVEL_ZSTD_SOURCE="$QARVEL_ZSTD_SOURCE" \
    -DQARVEL_PACK="${QARVEL_PACK:-$QARVEL_BUILD/host/packer/qarvel-pack}" \
    -DQARVEL_HOST_BUILD="$QARVEL_BUILD/host" \
    -DQARVEL_IMAGE_BEFORE_PACKER="${QARVEL_IMAGE_BEFORE_PACKER:-OFF}" \
    ${QARVEL_BUILD_TESTS:+-DQARVEL_BUILD_TESTS=$QARVEL_BUILD_TESTS}
  cmake --build "$QARVEL_BUILD/target" -j "$QARVEL_JOBS" "$@"
}
