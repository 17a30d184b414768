# Builds the whole of libzstd for the target, compression with threads too,
# for the Windows qarvel-pack; from the same Debian sources as the launcher's
# decoder, so both builds of qarvel-pack compress with the same zstd as the
# host's libzstd.
if(TARGET qarvel_zstd_full)
  return()
endif()
include(${CMAKE_CURRENT_LIST_DIR}/ZstdDecompress.cmake)

set(_zstd_lib "${QARVEL_ZSTD_SOURCE}/lib")
file(GLOB _zstd_full_sources
  ${_zstd_lib}/common/*.c
  ${_zstd_lib}/compress/*.c
  ${_zstd_lib}/decompress/*.c)
list(SORT _zstd_full_sources)
add_library(qarvel_zstd_full STATIC ${_zstd_full_sources})
target_include_directories(qarvel_zstd_full SYSTEM PUBLIC ${_zstd_lib})
# zstd's own threads on Windows (lib/common/threading.c) serve --threads.
target_compile_definitions(qarvel_zstd_full PRIVATE ZSTD_MULTITHREAD ZSTD_DISABLE_ASM
  ZSTD_LEGACY_SUPPORT=0 XXH_NAMESPACE=ZSTD_)
target_compile_options(qarvel_zstd_full PRIVATE -O2 -w)
