# Builds the decompression half of libzstd for the target.
if(TARGET qarvel_zstd_decompress)
  return()
endif()
include(${CMAKE_CURRENT_LIST_DIR}/ZstdSource.cmake)

add_library(qarvel_zstd_decompress STATIC
  ${QARVEL_ZSTD_LIB}/common/entropy_common.c
  ${QARVEL_ZSTD_LIB}/common/error_private.c
  ${QARVEL_ZSTD_LIB}/common/fse_decompress.c
  ${QARVEL_ZSTD_LIB}/common/xxhash.c
  ${QARVEL_ZSTD_LIB}/common/zstd_common.c
  ${QARVEL_ZSTD_LIB}/decompress/huf_decompress.c
  ${QARVEL_ZSTD_LIB}/decompress/zstd_ddict.c
  ${QARVEL_ZSTD_LIB}/decompress/zstd_decompress.c
  ${QARVEL_ZSTD_LIB}/decompress/zstd_decompress_block.c)
target_include_directories(qarvel_zstd_decompress SYSTEM PUBLIC ${QARVEL_ZSTD_LIB})
target_compile_definitions(qarvel_zstd_decompress PRIVATE ${QARVEL_ZSTD_DEFINITIONS})
target_compile_options(qarvel_zstd_decompress PRIVATE -O2 -w)
