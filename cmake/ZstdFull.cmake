# Builds the whole of libzstd for the target, compression with threads too,
# for the Windows qarvel-pack; from the same Debian sources as the launcher's
# decoder, so both builds of qarvel-pack compress with the same zstd as the
# host's libzstd.
if(TARGET qarvel_zstd_full)
  return()
endif()
include(${CMAKE_CURRENT_LIST_DIR}/ZstdSource.cmake)

file(GLOB _zstd_full_sources
  ${QARVEL_ZSTD_LIB}/common/*.c
  ${QARVEL_ZSTD_LIB}/compress/*.c
  ${QARVEL_ZSTD_LIB}/decompress/*.c)
list(SORT _zstd_full_sources)
add_library(qarvel_zstd_full STATIC ${_zstd_full_sources})
target_include_directories(qarvel_zstd_full SYSTEM PUBLIC ${QARVEL_ZSTD_LIB})
# zstd's own threads on Windows (lib/common/threading.c) serve --threads.
target_compile_definitions(qarvel_zstd_full PRIVATE ZSTD_MULTITHREAD ${QARVEL_ZSTD_DEFINITIONS})
target_compile_options(qarvel_zstd_full PRIVATE -O2 -w)
