# Builds the decompression half of libzstd for the target from Debian's zstd
# source package, fetched by the set-up into a cache outside the repository.
if(TARGET qarvel_zstd_decompress)
  return()
endif()

set(QARVEL_ZSTD_SOURCE "$ENV{QARVEL_ZSTD_SOURCE}" CACHE PATH "zstd source tree (Debian source package)")
if(NOT EXISTS "${QARVEL_ZSTD_SOURCE}/lib/zstd.h")
  message(FATAL_ERROR "QARVEL_ZSTD_SOURCE must name the zstd sources; scripts/test and scripts/demo fetch them")
endif()

set(_zstd_lib "${QARVEL_ZSTD_SOURCE}/lib")
add_library(qarvel_zstd_decompress STATIC
  ${_zstd_lib}/common/entropy_common.c
  ${_zstd_lib}/common/error_private.c
  ${_zstd_lib}/common/fse_decompress.c
  ${_zstd_lib}/common/xxhash.c
  ${_zstd_lib}/common/zstd_common.c
  ${_zstd_lib}/decompress/huf_decompress.c
  ${_zstd_lib}/decompress/zstd_ddict.c
  ${_zstd_lib}/decompress/zstd_decompress.c
  ${_zstd_lib}/decompress/zstd_decompress_block.c)
target_include_directories(qarvel_zstd_decompress SYSTEM PUBLIC ${_zstd_lib})
# The assembler Huffman loop is written for ELF; the C loop serves here.
target_compile_definitions(qarvel_zstd_decompress PRIVATE ZSTD_DISABLE_ASM ZSTD_LEGACY_SUPPORT=0 XXH_NAMESPACE=ZSTD_)
target_compile_options(qarvel_zstd_decompress PRIVATE -O2 -w)
