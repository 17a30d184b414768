# The launcher image: the launcher's code compiled once, with an empty
# constants record, no payload and no resources, for the console subsystem.
# qarvel-pack carries it and completes a copy into every launcher it makes
# (the constants, the payload, the resources, the subsystem of a windowed
# one). Include this module in a project configured with the mingw-w64
# toolchain; it writes the image and the licence notices every launcher
# carries into BUILD/launcher-image/.
include_guard(GLOBAL)

include("${CMAKE_CURRENT_LIST_DIR}/QarvelSettings.cmake")
include("${CMAKE_CURRENT_LIST_DIR}/ZstdDecompress.cmake")
include("${CMAKE_CURRENT_LIST_DIR}/QarvelNotices.cmake")

set(QARVEL_IMAGE_DIR "${CMAKE_BINARY_DIR}/launcher-image")
set(QARVEL_IMAGE_FILE "${QARVEL_IMAGE_DIR}/qarvel-launcher-image.exe")
qarvel_write_licence_notices("${QARVEL_IMAGE_DIR}/licence-notices.txt" "${QARVEL_ZSTD_SOURCE}")

find_library(QARVEL_TARGET_ZLIB NAMES libz.a z REQUIRED)
find_path(QARVEL_TARGET_ZLIB_INCLUDE zlib.h REQUIRED)

add_library(qarvel_launcher_core STATIC
  ${QARVEL_SOURCE_DIR}/launcher/bounded_copy.cpp
  ${QARVEL_SOURCE_DIR}/launcher/elevation.cpp
  ${QARVEL_SOURCE_DIR}/launcher/failure.cpp
  ${QARVEL_SOURCE_DIR}/launcher/failure_output.cpp
  ${QARVEL_SOURCE_DIR}/launcher/launcher_kind.cpp
  ${QARVEL_SOURCE_DIR}/launcher/launcher_state.cpp
  ${QARVEL_SOURCE_DIR}/launcher/system_function.cpp
  ${QARVEL_SOURCE_DIR}/payload/attached_reader.cpp
  ${QARVEL_SOURCE_DIR}/payload/cache_lock.cpp
  ${QARVEL_SOURCE_DIR}/payload/index_reader.cpp
  ${QARVEL_SOURCE_DIR}/payload/own_section.cpp
  ${QARVEL_SOURCE_DIR}/payload/partial_file.cpp
  ${QARVEL_SOURCE_DIR}/payload/payload_reader.cpp
  ${QARVEL_SOURCE_DIR}/payload/quick_check.cpp
  ${QARVEL_SOURCE_DIR}/payload/unpack.cpp
  ${QARVEL_SOURCE_DIR}/paths/directories.cpp
  ${QARVEL_SOURCE_DIR}/paths/environment.cpp
  ${QARVEL_SOURCE_DIR}/paths/folder_protection.cpp
  ${QARVEL_SOURCE_DIR}/paths/path_template.cpp
  ${QARVEL_SOURCE_DIR}/paths/protected_target.cpp
  ${QARVEL_SOURCE_DIR}/paths/run_values.cpp
  ${QARVEL_SOURCE_DIR}/child/command_line.cpp
  ${QARVEL_SOURCE_DIR}/child/fixed_arguments.cpp
  ${QARVEL_SOURCE_DIR}/child/supervision.cpp)
target_include_directories(qarvel_launcher_core PUBLIC ${QARVEL_SOURCE_DIR} ${QARVEL_TARGET_ZLIB_INCLUDE})
target_compile_features(qarvel_launcher_core PUBLIC cxx_std_17)
target_compile_options(qarvel_launcher_core PRIVATE ${QARVEL_WARNINGS} -O2
  ${QARVEL_LAUNCHER_CODE_OPTIONS})
target_compile_definitions(qarvel_launcher_core PUBLIC UNICODE _UNICODE WIN32_LEAN_AND_MEAN)
target_link_libraries(qarvel_launcher_core PUBLIC qarvel_zstd_decompress ${QARVEL_TARGET_ZLIB} kernel32)

add_executable(qarvel_launcher_image "${QARVEL_SOURCE_DIR}/launcher/main.cpp"
  "${QARVEL_SOURCE_DIR}/launcher/image_constants.cpp")
target_link_libraries(qarvel_launcher_image PRIVATE qarvel_launcher_core)
target_compile_options(qarvel_launcher_image PRIVATE ${QARVEL_WARNINGS} -O2
  ${QARVEL_LAUNCHER_CODE_OPTIONS})
target_link_options(qarvel_launcher_image PRIVATE ${QARVEL_LAUNCHER_LINK_OPTIONS})
set_target_properties(qarvel_launcher_image PROPERTIES OUTPUT_NAME qarvel-launcher-image
  RUNTIME_OUTPUT_DIRECTORY "${QARVEL_IMAGE_DIR}")
