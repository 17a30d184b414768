# Makes one-file launchers: include this module, then call
# qarvel_add_onefile_launcher. Every launcher is made by
# "qarvel-pack launcher", which completes the one prebuilt launcher image
# around the payload: a custom target NAME that writes NAME.exe (or
# OUTPUT_NAME.exe) into the current binary folder; its QARVEL_LAUNCHER_FILE
# property names that file, for install().
#
#   qarvel_add_onefile_launcher(NAME
#     {PAYLOAD FILE | APP_DIR DIR MAIN RELPATH}
#     [TARGET_SPEC TEMPLATE] [COMPANY TEXT] [PRODUCT TEXT] [VERSION A.B.C.D]
#     [ICON FILE] [COPYRIGHT TEXT] [DESCRIPTION TEXT] [ORIGINAL_FILENAME NAME]
#     [INTERNAL_NAME NAME] [ELEVATED] [WINDOWED] [QUICK_CHECK]
#     [OUTPUT_NAME NAME] [ARGS TEXT...] [ENV NAME=VALUE...] [PACK_OPTIONS ...]
#     [DEPENDS ...])
#
# PAYLOAD embeds a file made by "qarvel-pack create"; APP_DIR packs a folder,
# MAIN naming the application's main executable inside it. Without
# TARGET_SPEC the cache folder is named after COMPANY, PRODUCT and VERSION.
# ELEVATED makes the launcher ask for administrator rights. PACK_OPTIONS go
# to the packing (--level, --window-log, --threads). DEPENDS names targets to
# build first and files that the build writes into APP_DIR: listing those
# files repacks in the same build that changes them. Any other file added
# to, changed in or removed from APP_DIR repacks too. WINDOWED makes the
# launcher for applications with windows: no console, and a fatal failure
# shows its line in a message box. QUICK_CHECK lets a launch that finds every
# file's size, times and attributes as its last full check recorded them
# open none (not with ELEVATED). ARGS are fixed arguments the child receives
# before the user's own, ENV variables set for the child alone ("qarvel-pack
# launcher" --arg and --env; {APP_DIR} names the folder the files are
# unpacked into). An empty argument or one starting with a dash is passed
# as it is; one holding a semicolon cannot be, as CMake splits lists there.
#
# QARVEL_PACK names the qarvel-pack to use (build/host/packer/qarvel-pack of
# a Qarvel build). Without it, a project configured with the mingw-w64
# toolchain builds the launcher image and a native qarvel-pack carrying it
# from this source tree, inside its own build tree; any other project must
# name one. A qarvel-pack that exists when the function is called checks the
# identity then ("qarvel-pack identity"), so a bad one stops CMake; otherwise
# the build stops at the launcher with qarvel-pack's line. A value equal to
# one of the keywords cannot be told from it, and is refused.
include_guard(GLOBAL)

get_filename_component(QARVEL_SOURCE_DIR "${CMAKE_CURRENT_LIST_DIR}/.." ABSOLUTE)

set(_QARVEL_FLAG_KEYWORDS ELEVATED WINDOWED QUICK_CHECK)
set(_QARVEL_IDENTITY_FLAGS ELEVATED WINDOWED)
set(_QARVEL_VALUE_KEYWORDS PAYLOAD APP_DIR MAIN TARGET_SPEC COMPANY PRODUCT VERSION ICON
  OUTPUT_NAME COPYRIGHT DESCRIPTION ORIGINAL_FILENAME INTERNAL_NAME)
set(_QARVEL_LIST_KEYWORDS PACK_OPTIONS DEPENDS ARGS ENV)
set(_QARVEL_IDENTITY_FIELDS TARGET_SPEC COMPANY PRODUCT VERSION ICON COPYRIGHT DESCRIPTION
  ORIGINAL_FILENAME INTERNAL_NAME)

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

# The qarvel-pack program and what a launcher's step depends on. Without
# QARVEL_PACK, a mingw-w64 project builds the image here and a native
# qarvel-pack around it, once per build tree.
function(_qarvel_pack_program out_program out_depends)
  if(QARVEL_PACK)
    set(${out_program} "${QARVEL_PACK}" PARENT_SCOPE)
    set(${out_depends} "${QARVEL_PACK}" PARENT_SCOPE)
    return()
  endif()
  if(NOT MINGW)
    message(FATAL_ERROR "qarvel_add_onefile_launcher: set QARVEL_PACK to a qarvel-pack that "
      "carries the launcher image (build/host/packer/qarvel-pack of a Qarvel build), or "
      "configure the project with the mingw-w64 toolchain (cmake/mingw-w64-x86_64.cmake), "
      "which builds one from these sources")
  endif()
  set(binary_dir "${CMAKE_BINARY_DIR}/qarvel-pack-host")
  set(program "${binary_dir}/packer/qarvel-pack")
  if(NOT TARGET qarvel_pack_host)
    include("${QARVEL_SOURCE_DIR}/cmake/QarvelLauncherImage.cmake")
    include(ExternalProject)
    # An empty toolchain file keeps this build native whatever the
    # environment says.
    ExternalProject_Add(qarvel_pack_host
      SOURCE_DIR "${QARVEL_SOURCE_DIR}"
      BINARY_DIR "${binary_dir}"
      CMAKE_ARGS -DCMAKE_BUILD_TYPE=Release -DCMAKE_TOOLCHAIN_FILE=
                 "-DQARVEL_LAUNCHER_IMAGE=${QARVEL_IMAGE_FILE}"
      BUILD_COMMAND "${CMAKE_COMMAND}" --build "${binary_dir}" --target qarvel-pack
      BUILD_BYPRODUCTS "${program}"
      BUILD_ALWAYS ON
      INSTALL_COMMAND ""
      DEPENDS qarvel_launcher_image)
  endif()
  set(${out_program} "${program}" PARENT_SCOPE)
  set(${out_depends} qarvel_pack_host "${program}" PARENT_SCOPE)
endfunction()

# Checks the identity of launcher NAME with "qarvel-pack identity" at once:
# a refusal stops CMake with qarvel-pack's line, a warning is shown.
# IDENTITY_OPTIONS are qarvel-pack's options; OUTPUT the launcher's file.
function(_qarvel_check_identity name pack_program output)
  execute_process(COMMAND "${pack_program}" identity -o "${output}" ${ARGN}
    RESULT_VARIABLE status OUTPUT_VARIABLE answer ERROR_VARIABLE error)
  if(NOT status EQUAL 0)
    string(REGEX REPLACE "^qarvel-pack: (error: )?" "" error "${error}")
    string(STRIP "${error}" error)
    if(error STREQUAL "")
      set(error "${pack_program} identity failed: ${status}")
    endif()
    message(FATAL_ERROR "qarvel_add_onefile_launcher(${name}): ${error}")
  endif()
  # Only a launcher that packs a folder warns of the shared folder.
  set(fields elevated-warning target-spec-warning)
  if(ARG_APP_DIR)
    list(APPEND fields warning)
  endif()
  string(REPLACE ";" "\\;" answer "${answer}")
  string(REPLACE "\n" ";" lines "${answer}")
  foreach(line IN LISTS lines)
    foreach(field IN LISTS fields)
      if(line MATCHES "^${field}: (.+)$")
        message(WARNING "qarvel_add_onefile_launcher(${name}): ${CMAKE_MATCH_1}")
      endif()
    endforeach()
  endforeach()
  # A rebuilt qarvel-pack may answer otherwise.
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${pack_program}")
endfunction()

# The body of qarvel_add_onefile_launcher(NAME ...), from its arguments as
# cmake_parse_arguments leaves them (ARG_...).
function(_qarvel_onefile_launcher name)
  set(context "qarvel_add_onefile_launcher(${name})")
  _qarvel_pack_program(pack_program pack_depends)
  set(source)
  if(ARG_PAYLOAD AND ARG_APP_DIR)
    message(FATAL_ERROR "${context}: give PAYLOAD or APP_DIR, not both")
  elseif(ARG_PAYLOAD)
    get_filename_component(payload "${ARG_PAYLOAD}" ABSOLUTE BASE_DIR "${CMAKE_CURRENT_SOURCE_DIR}")
    set(source --payload "${payload}")
  elseif(ARG_APP_DIR)
    if(NOT ARG_MAIN)
      message(FATAL_ERROR "${context}: APP_DIR needs MAIN")
    endif()
    get_filename_component(app_dir "${ARG_APP_DIR}" ABSOLUTE BASE_DIR "${CMAKE_CURRENT_SOURCE_DIR}")
    set(source "${app_dir}" --main "${ARG_MAIN}" ${ARG_PACK_OPTIONS})
  else()
    message(FATAL_ERROR "${context}: give PAYLOAD or APP_DIR")
  endif()

  if(NOT "${ARG_ICON}" STREQUAL "")
    get_filename_component(ARG_ICON "${ARG_ICON}" ABSOLUTE BASE_DIR "${CMAKE_CURRENT_SOURCE_DIR}")
  endif()
  set(identity)
  foreach(field IN LISTS _QARVEL_IDENTITY_FIELDS)
    if(NOT "${ARG_${field}}" STREQUAL "")
      string(TOLOWER "--${field}" option)
      string(REPLACE "_" "-" option "${option}")
      list(APPEND identity "${option}" "${ARG_${field}}")
    endif()
  endforeach()
  foreach(flag IN LISTS _QARVEL_IDENTITY_FLAGS)
    if(ARG_${flag})
      string(TOLOWER "--${flag}" option)
      list(APPEND identity "${option}")
    endif()
  endforeach()
  set(check)
  if(ARG_QUICK_CHECK)
    if(ARG_ELEVATED)
      message(FATAL_ERROR "${context}: QUICK_CHECK cannot be combined with ELEVATED: an elevated "
        "launch opens every file to check who may change it")
    endif()
    set(check --quick-check)
  endif()

  # Given as --arg=TEXT: an empty one or one that starts with a dash stays
  # a value.
  set(child)
  foreach(argument IN LISTS ARG_ARGS)
    list(APPEND child "--arg=${argument}")
  endforeach()
  foreach(variable IN LISTS ARG_ENV)
    list(APPEND child "--env=${variable}")
  endforeach()

  set(file_name "${name}")
  if(ARG_OUTPUT_NAME)
    set(file_name "${ARG_OUTPUT_NAME}")
  endif()
  set(output "${CMAKE_CURRENT_BINARY_DIR}/${file_name}.exe")
  if(EXISTS "${pack_program}")
    _qarvel_check_identity(${name} "${pack_program}" "${output}" ${identity})
  endif()
  # DEPENDS takes targets and files alike: a target is built first. The
  # dependency file names every file and folder packed.
  add_custom_command(OUTPUT "${output}"
    COMMAND "${pack_program}" launcher ${source} ${identity} ${check} ${child} -o "${output}"
            --depfile "${output}.d" --quiet
    DEPENDS ${pack_depends} ${ARG_DEPENDS} ${ARG_ICON}
    DEPFILE "${output}.d"
    COMMENT "Making the launcher ${file_name}.exe"
    VERBATIM)
  add_custom_target(${name} ALL DEPENDS "${output}")
  set_target_properties(${name} PROPERTIES QARVEL_LAUNCHER_FILE "${output}")
endfunction()
