# Builds one-file launchers: include this module, then call
# qarvel_add_onefile_launcher. A project configured with the mingw-w64
# toolchain compiles each launcher around its payload; any other project
# (the host compiler, MSVC) gets a custom target that runs
# "qarvel-pack launcher", given as QARVEL_PACK, and writes NAME.exe (or
# OUTPUT_NAME.exe) into the current binary folder.
#
#   qarvel_add_onefile_launcher(NAME
#     {PAYLOAD FILE | APP_DIR DIR MAIN RELPATH}
#     [TARGET_SPEC TEMPLATE] [COMPANY TEXT] [PRODUCT TEXT] [VERSION A.B.C.D]
#     [ICON FILE] [COPYRIGHT TEXT] [DESCRIPTION TEXT] [ORIGINAL_FILENAME NAME]
#     [INTERNAL_NAME NAME] [ELEVATED] [WINDOWED]
#     [OUTPUT_NAME NAME] [PACK_OPTIONS ...] [DEPENDS ...])
#
# PAYLOAD embeds a file's bytes verbatim; APP_DIR packs a folder with
# qarvel-pack, MAIN naming the application's main executable inside it.
# Without TARGET_SPEC the cache folder is named after COMPANY, PRODUCT and
# VERSION. ELEVATED makes the launcher ask for administrator rights.
# PACK_OPTIONS go to "qarvel-pack create" (--level, --window-log, --threads).
# DEPENDS names targets to build first and files that the build writes into
# APP_DIR: listing those files repacks in the same build that changes them.
# Any other file added to, changed in or removed from APP_DIR repacks too.
# WINDOWED builds the launcher for applications with windows: no console,
# and a fatal failure shows its line in a message box.
# qarvel-pack runs on the build machine: QARVEL_PACK names a built one;
# without it, it is built from this source tree inside the build tree. It
# also completes and checks the identity (cmake/QarvelIdentity.cmake). A
# value equal to one of the keywords cannot be told from it, and is refused.
include_guard(GLOBAL)

get_filename_component(QARVEL_SOURCE_DIR "${CMAKE_CURRENT_LIST_DIR}/.." ABSOLUTE)
list(APPEND CMAKE_MODULE_PATH "${QARVEL_SOURCE_DIR}/cmake")

set(_QARVEL_FLAG_KEYWORDS ELEVATED WINDOWED)
set(_QARVEL_VALUE_KEYWORDS PAYLOAD APP_DIR MAIN TARGET_SPEC COMPANY PRODUCT VERSION ICON
  OUTPUT_NAME COPYRIGHT DESCRIPTION ORIGINAL_FILENAME INTERNAL_NAME)
set(_QARVEL_LIST_KEYWORDS PACK_OPTIONS DEPENDS)

function(qarvel_add_onefile_launcher name)
  # cmake_parse_arguments reads a value equal to a keyword as that keyword:
  # PRODUCT ELEVATED would ask for administrator rights. Refuse it instead.
  set(keywords ${_QARVEL_FLAG_KEYWORDS} ${_QARVEL_VALUE_KEYWORDS} ${_QARVEL_LIST_KEYWORDS})
  math(EXPR last "${ARGC} - 1")
  foreach(index RANGE 1 ${last})
    if(NOT "${ARGV${index}}" IN_LIST _QARVEL_VALUE_KEYWORDS)
      continue()
    endif()
    math(EXPR value_index "${index} + 1")
    if(value_index GREATER last)
      message(FATAL_ERROR "qarvel_add_onefile_launcher(${name}): ${ARGV${index}} has no value")
    endif()
    if("${ARGV${value_index}}" IN_LIST keywords)
      message(FATAL_ERROR "qarvel_add_onefile_launcher(${name}): the value of ${ARGV${index}} is "
        "${ARGV${value_index}}, which this function can only read as a keyword")
    endif()
  endforeach()
  cmake_parse_arguments(PARSE_ARGV 1 ARG "${_QARVEL_FLAG_KEYWORDS}" "${_QARVEL_VALUE_KEYWORDS}"
    "${_QARVEL_LIST_KEYWORDS}")
  _qarvel_onefile_launcher(${name})
endfunction()

# Without the mingw-w64 toolchain, _qarvel_onefile_launcher runs
# "qarvel-pack launcher" instead of compiling.
if(NOT MINGW)
  include(QarvelPackedLauncher)
  return()
endif()

enable_language(C)
enable_language(CXX)
enable_language(ASM)
enable_language(RC)

include(ZstdDecompress)
include(QarvelNotices)
include(QarvelIdentity)

# Written once per build tree; every launcher carries it.
set(QARVEL_LICENCE_NOTICES "${CMAKE_BINARY_DIR}/qarvel-licence-notices.txt")
qarvel_write_licence_notices("${QARVEL_LICENCE_NOTICES}" "${QARVEL_ZSTD_SOURCE}")

set(QARVEL_TARGET_WARNINGS -Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wno-sign-conversion)
# The launcher throws nothing and starts no thread: without exception tables
# and thread-safe statics, libstdc++'s exception runtime, the unwinder and
# winpthreads stay out of the image. (--gc-sections would save 4 KiB more,
# but would drop the payload and constants sections, which no code names.)
set(QARVEL_LAUNCHER_CODE_OPTIONS -fno-exceptions -fno-threadsafe-statics)

find_library(QARVEL_TARGET_ZLIB NAMES libz.a z REQUIRED)
find_path(QARVEL_TARGET_ZLIB_INCLUDE zlib.h REQUIRED)

if(NOT TARGET qarvel_launcher_core)
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
    ${QARVEL_SOURCE_DIR}/payload/quick_check.cpp
    ${QARVEL_SOURCE_DIR}/payload/payload_reader.cpp
    ${QARVEL_SOURCE_DIR}/payload/unpack.cpp
    ${QARVEL_SOURCE_DIR}/paths/directories.cpp
    ${QARVEL_SOURCE_DIR}/paths/environment.cpp
    ${QARVEL_SOURCE_DIR}/paths/folder_protection.cpp
    ${QARVEL_SOURCE_DIR}/paths/path_template.cpp
    ${QARVEL_SOURCE_DIR}/paths/protected_target.cpp
    ${QARVEL_SOURCE_DIR}/paths/run_values.cpp
    ${QARVEL_SOURCE_DIR}/child/command_line.cpp
    ${QARVEL_SOURCE_DIR}/child/supervision.cpp)
  target_include_directories(qarvel_launcher_core PUBLIC ${QARVEL_SOURCE_DIR} ${QARVEL_TARGET_ZLIB_INCLUDE})
  target_compile_features(qarvel_launcher_core PUBLIC cxx_std_17)
  target_compile_options(qarvel_launcher_core PRIVATE ${QARVEL_TARGET_WARNINGS} -O2
    ${QARVEL_LAUNCHER_CODE_OPTIONS})
  target_compile_definitions(qarvel_launcher_core PUBLIC UNICODE _UNICODE WIN32_LEAN_AND_MEAN)
  target_link_libraries(qarvel_launcher_core PUBLIC qarvel_zstd_decompress ${QARVEL_TARGET_ZLIB} kernel32)
endif()

# Header fields and reproducibility of every launcher image.
set(QARVEL_LAUNCHER_LINK_OPTIONS
  -municode -static -static-libgcc -static-libstdc++
  LINKER:--major-subsystem-version,6 LINKER:--minor-subsystem-version,0
  LINKER:--major-os-version,6 LINKER:--minor-os-version,0
  "SHELL:-Xlinker --stack -Xlinker 0x968000,0x1000"
  LINKER:--dynamicbase LINKER:--high-entropy-va LINKER:--nxcompat LINKER:--tsaware
  LINKER:--no-insert-timestamp
  # A shipped launcher carries neither debug sections nor a symbol table.
  LINKER:--strip-all
  # Pages of a large payload are then mapped rather than read at start-up.
  LINKER:--file-alignment=0x1000 LINKER:--section-alignment=0x1000)

# The windowed launcher: the same image for the GUI subsystem. The console
# start-up code stays its entry point, as wmain is the entry either way, so
# that the subsystem is the one field in which the images differ (the
# header checksum follows it).
set(QARVEL_WINDOWED_LINK_OPTIONS LINKER:--subsystem,windows LINKER:--entry,mainCRTStartup)

# The qarvel-pack program and what a packing step depends on. Without
# QARVEL_PACK it is built natively, once per build tree, from these sources.
function(_qarvel_pack_program out_program out_depends)
  if(QARVEL_PACK)
    set(${out_program} "${QARVEL_PACK}" PARENT_SCOPE)
    set(${out_depends} "${QARVEL_PACK}" PARENT_SCOPE)
    return()
  endif()
  set(binary_dir "${CMAKE_BINARY_DIR}/qarvel-pack-host")
  set(program "${binary_dir}/packer/qarvel-pack")
  if(NOT TARGET qarvel_pack_host)
    include(ExternalProject)
    # An empty toolchain file keeps this build native whatever the
    # environment says.
    ExternalProject_Add(qarvel_pack_host
      SOURCE_DIR "${QARVEL_SOURCE_DIR}"
      BINARY_DIR "${binary_dir}"
      CMAKE_ARGS -DCMAKE_BUILD_TYPE=Release -DCMAKE_TOOLCHAIN_FILE= -DQARVEL_BUILD_TESTS=OFF
      BUILD_COMMAND "${CMAKE_COMMAND}" --build "${binary_dir}" --target qarvel-pack
      BUILD_BYPRODUCTS "${program}"
      BUILD_ALWAYS ON
      INSTALL_COMMAND "")
  endif()
  set(${out_program} "${program}" PARENT_SCOPE)
  set(${out_depends} qarvel_pack_host "${program}" PARENT_SCOPE)
endfunction()

# The launcher image that qarvel-pack completes: the launcher's code with an
# empty constants record, no payload and no resources, for the console
# subsystem (the packer sets the field for a windowed launcher).
function(qarvel_add_launcher_image name)
  add_executable(${name} "${QARVEL_SOURCE_DIR}/launcher/main.cpp"
    "${QARVEL_SOURCE_DIR}/launcher/image_constants.cpp")
  target_link_libraries(${name} PRIVATE qarvel_launcher_core)
  target_compile_options(${name} PRIVATE ${QARVEL_TARGET_WARNINGS} -O2
    ${QARVEL_LAUNCHER_CODE_OPTIONS})
  target_link_options(${name} PRIVATE ${QARVEL_LAUNCHER_LINK_OPTIONS})
endfunction()

# The body of qarvel_add_onefile_launcher(NAME ...), from its arguments as
# cmake_parse_arguments leaves them (ARG_...); scripts/build-launcher's
# project sets them itself, so that no value of it meets keyword parsing.
function(_qarvel_onefile_launcher name)
  set(work "${CMAKE_CURRENT_BINARY_DIR}/${name}.qarvel")
  file(MAKE_DIRECTORY "${work}")

  # The identity needs qarvel-pack too, whatever the payload.
  _qarvel_pack_program(pack_program pack_depends)
  if(ARG_PAYLOAD AND ARG_APP_DIR)
    message(FATAL_ERROR "qarvel_add_onefile_launcher(${name}): give PAYLOAD or APP_DIR, not both")
  elseif(ARG_PAYLOAD)
    get_filename_component(payload "${ARG_PAYLOAD}" ABSOLUTE BASE_DIR "${CMAKE_CURRENT_SOURCE_DIR}")
  elseif(ARG_APP_DIR)
    if(NOT ARG_MAIN)
      message(FATAL_ERROR "qarvel_add_onefile_launcher(${name}): APP_DIR needs MAIN")
    endif()
    get_filename_component(app_dir "${ARG_APP_DIR}" ABSOLUTE BASE_DIR "${CMAKE_CURRENT_SOURCE_DIR}")
    set(payload "${work}/payload.bin")
    # The dependency file names every file and folder packed, so a change,
    # an addition or a removal in the folder repacks it.
    add_custom_command(OUTPUT "${payload}"
      COMMAND "${pack_program}" create "${app_dir}" --main "${ARG_MAIN}" -o "${payload}"
              --depfile "${work}/payload.d" --quiet ${ARG_PACK_OPTIONS}
      DEPENDS ${pack_depends} ${ARG_DEPENDS}
      DEPFILE "${work}/payload.d"
      COMMENT "Packing ${app_dir} for ${name}"
      VERBATIM)
  else()
    message(FATAL_ERROR "qarvel_add_onefile_launcher(${name}): give PAYLOAD or APP_DIR")
  endif()

  # The payload's bytes are assembled in place, as a section of their own
  # that the launcher finds through its section table; only this object
  # depends on them, so a new payload re-assembles it and relinks.
  file(CONFIGURE OUTPUT "${work}/attached_payload.S" CONTENT [[
#include "format/image_layout.h"
    .section QARVEL_PAYLOAD_SECTION_NAME,"dr"
    .incbin "@payload@"
]] @ONLY)
  set_source_files_properties("${work}/attached_payload.S" PROPERTIES OBJECT_DEPENDS "${payload}")

  if(ARG_OUTPUT_NAME)
    set(output_name "${ARG_OUTPUT_NAME}${CMAKE_EXECUTABLE_SUFFIX}")
  else()
    set(output_name "${name}${CMAKE_EXECUTABLE_SUFFIX}")
  endif()
  _qarvel_identity_step(identity_sources "${name}" "${work}" "${pack_program}" "${pack_depends}"
    "${output_name}")

  add_executable(${name}
    "${QARVEL_SOURCE_DIR}/launcher/main.cpp"
    "${work}/attached_payload.S"
    ${identity_sources})
  target_link_libraries(${name} PRIVATE qarvel_launcher_core)
  target_compile_options(${name} PRIVATE ${QARVEL_TARGET_WARNINGS} -O2
    ${QARVEL_LAUNCHER_CODE_OPTIONS})
  target_link_options(${name} PRIVATE ${QARVEL_LAUNCHER_LINK_OPTIONS})
  if(ARG_WINDOWED)
    target_link_options(${name} PRIVATE ${QARVEL_WINDOWED_LINK_OPTIONS})
  endif()
  if(ARG_OUTPUT_NAME)
    set_target_properties(${name} PROPERTIES OUTPUT_NAME "${ARG_OUTPUT_NAME}")
  endif()
  foreach(dependency IN LISTS ARG_DEPENDS)
    if(TARGET "${dependency}")
      add_dependencies(${name} "${dependency}")
    endif()
  endforeach()
endfunction()
