# The zstd sources of Debian's package, fetched by the set-up into a cache
# outside the repository, and the definitions every library built from them
# takes.
include_guard(GLOBAL)

set(QARVEL_ZSTD_SOURCE "$ENV{QARVEL_ZSTD_SOURCE}" CACHE PATH "zstd source tree (Debian source package)")
if(NOT EXISTS "${QARVEL_ZSTD_SOURCE}/lib/zstd.h")
  message(FATAL_ERROR "QARVEL_ZSTD_SOURCE must name the zstd sources; scripts/test and scripts/demo fetch them")
endif()
set(QARVEL_ZSTD_LIB "${QARVEL_ZSTD_SOURCE}/lib")
# The assembler Huffman loop is written for ELF; the C loop serves here.
set(QARVEL_ZSTD_DEFINITIONS ZSTD_DISABLE_ASM ZSTD_LEGACY_SUPPORT=0 XXH_NAMESPACE=ZSTD_)
