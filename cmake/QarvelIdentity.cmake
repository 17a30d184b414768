# What a launcher says it is: the company, product and version that its
# version information and path-template tokens share, the cache folder they
# name by default, and the checks of these inputs. The rules live in
# qarvel-pack ("qarvel-pack identity"); this module asks it and writes the
# launcher's constants and resource script from its answer. It asks when
# qarvel_add_onefile_launcher is called if QARVEL_PACK names a qarvel-pack
# that exists then, and otherwise in a build step that the launcher's
# compile steps wait for. Run with -P QARVEL_IDENTITY_REQUEST=FILE, it is
# that build step.
include_guard(GLOBAL)

if(NOT QARVEL_SOURCE_DIR)
  get_filename_component(QARVEL_SOURCE_DIR "${CMAKE_CURRENT_LIST_DIR}/.." ABSOLUTE)
endif()
include("${QARVEL_SOURCE_DIR}/cmake/QarvelResources.cmake")

set(QARVEL_DEFAULT_ICON "${QARVEL_SOURCE_DIR}/resources/qarvel.ico")

# A CMake bracket argument that holds TEXT whatever it holds, even a
# closing bracket or one across its end.
function(_qarvel_bracket out text)
  set(equals "")
  while("${text}]" MATCHES "]${equals}]")
    string(APPEND equals "=")
  endwhile()
  set(${out} "[${equals}[${text}]${equals}]" PARENT_SCOPE)
endfunction()

set(_QARVEL_IDENTITY_TEXTS COMPANY PRODUCT VERSION TARGET_SPEC ICON COPYRIGHT DESCRIPTION
  ORIGINAL_FILENAME INTERNAL_NAME)

# Writes the identity as given to qarvel_add_onefile_launcher(NAME ...)
# (its ARG_... variables) into WORK/identity-request.cmake, for the step
# that asks qarvel-pack; values travel as bracket arguments, so no text is
# ever read as a keyword or split at a semicolon.
function(_qarvel_identity_request request name work pack_program output_name icon)
  set(content "")
  foreach(pair "CONTEXT;qarvel_add_onefile_launcher(${name})" "WORK;${work}"
      "PACK;${pack_program}" "OUTPUT;${output_name}" "ICON;${icon}"
      "NOTICES;${QARVEL_LICENCE_NOTICES}")
    list(POP_FRONT pair variable)
    _qarvel_bracket(value "${pair}")
    string(APPEND content "set(QARVEL_REQUEST_${variable} ${value})\n")
  endforeach()
  foreach(field IN LISTS _QARVEL_IDENTITY_TEXTS)
    if(NOT field STREQUAL "ICON")
      _qarvel_bracket(value "${ARG_${field}}")
      string(APPEND content "set(QARVEL_REQUEST_${field} ${value})\n")
    endif()
  endforeach()
  foreach(flag ELEVATED WINDOWED)
    if(ARG_${flag})
      string(APPEND content "set(QARVEL_REQUEST_${flag} TRUE)\n")
    else()
      string(APPEND content "set(QARVEL_REQUEST_${flag} FALSE)\n")
    endif()
  endforeach()
  # Only a launcher that packs a folder warns of the shared folder.
  if(ARG_APP_DIR)
    string(APPEND content "set(QARVEL_REQUEST_WARN TRUE)\n")
  endif()
  file(CONFIGURE OUTPUT "${request}" CONTENT "${content}")
endfunction()

function(_qarvel_wide_literal out text)
  string(REPLACE "\\" "\\\\" text "${text}")
  string(REPLACE "\"" "\\\"" text "${text}")
  set(${out} "L\"${text}\"" PARENT_SCOPE)
endfunction()

# Asks qarvel-pack to complete and check the identity of REQUEST, and
# writes the launcher's constants and resource script (with its manifest)
# into the request's work folder; a refusal stops CMake with qarvel-pack's
# line.
function(_qarvel_identity_sources request)
  include("${request}")
  set(flags)
  foreach(flag ELEVATED WINDOWED)
    if(QARVEL_REQUEST_${flag})
      string(TOLOWER "--${flag}" option)
      list(APPEND flags "${option}")
    endif()
  endforeach()
  execute_process(COMMAND "${QARVEL_REQUEST_PACK}" identity --cmake -o "${QARVEL_REQUEST_OUTPUT}"
      --company "${QARVEL_REQUEST_COMPANY}" --product "${QARVEL_REQUEST_PRODUCT}"
      --version "${QARVEL_REQUEST_VERSION}" --target-spec "${QARVEL_REQUEST_TARGET_SPEC}"
      --icon "${QARVEL_REQUEST_ICON}" --copyright "${QARVEL_REQUEST_COPYRIGHT}"
      --description "${QARVEL_REQUEST_DESCRIPTION}"
      --original-filename "${QARVEL_REQUEST_ORIGINAL_FILENAME}"
      --internal-name "${QARVEL_REQUEST_INTERNAL_NAME}" ${flags}
    RESULT_VARIABLE status OUTPUT_VARIABLE answer ERROR_VARIABLE error)
  if(NOT status EQUAL 0)
    string(REGEX REPLACE "^qarvel-pack: (error: )?" "" error "${error}")
    string(STRIP "${error}" error)
    if(error STREQUAL "")
      set(error "${QARVEL_REQUEST_PACK} identity failed: ${status}")
    endif()
    message(FATAL_ERROR "${QARVEL_REQUEST_CONTEXT}: ${error}")
  endif()
  cmake_language(EVAL CODE "${answer}")
  if(QARVEL_REQUEST_WARN AND NOT QARVEL_IDENTITY_WARNING STREQUAL "")
    message(WARNING "${QARVEL_REQUEST_CONTEXT}: ${QARVEL_IDENTITY_WARNING}")
  endif()
  foreach(warning IN ITEMS "${QARVEL_IDENTITY_ELEVATED_WARNING}"
      "${QARVEL_IDENTITY_TARGET_SPEC_WARNING}")
    if(NOT warning STREQUAL "")
      message(WARNING "${QARVEL_REQUEST_CONTEXT}: ${warning}")
    endif()
  endforeach()

  set(work "${QARVEL_REQUEST_WORK}")
  _qarvel_wide_literal(spec_literal "${QARVEL_IDENTITY_TARGET_SPEC}")
  _qarvel_wide_literal(company_literal "${QARVEL_IDENTITY_COMPANY}")
  _qarvel_wide_literal(product_literal "${QARVEL_IDENTITY_PRODUCT}")
  _qarvel_wide_literal(version_literal "${QARVEL_IDENTITY_VERSION}")
  _qarvel_wide_literal(elevated_spec_literal "${QARVEL_IDENTITY_ELEVATED_TARGET_SPEC}")
  # The record the launcher reads, in its own section; qarvel-pack has
  # checked each text against its room.
  file(CONFIGURE OUTPUT "${work}/build_constants.cpp" CONTENT [[
#include "launcher/build_constants.h"

QARVEL_CONSTANTS_SECTION const BuildConstants build_constants = {
    QARVEL_CONSTANTS_MAGIC, @spec_literal@, @company_literal@, @product_literal@, @version_literal@,
    @elevated_spec_literal@};
]] @ONLY)
  _qarvel_write_launcher_resources("${work}")
endfunction()

# The identity's sources for launcher NAME in WORK: at once when
# PACK_PROGRAM exists, otherwise by a build step that runs after
# PACK_DEPENDS. Sets OUT to the sources to compile into the launcher.
function(_qarvel_identity_step out name work pack_program pack_depends output_name)
  set(icon "${ARG_ICON}")
  if("${icon}" STREQUAL "")
    set(icon "${QARVEL_DEFAULT_ICON}")
  endif()
  get_filename_component(icon "${icon}" ABSOLUTE BASE_DIR "${CMAKE_CURRENT_SOURCE_DIR}")
  set(request "${work}/identity-request.cmake")
  _qarvel_identity_request("${request}" "${name}" "${work}" "${pack_program}" "${output_name}"
    "${icon}")
  set(sources "${work}/build_constants.cpp" "${work}/launcher.rc")
  if(QARVEL_PACK AND EXISTS "${pack_program}")
    _qarvel_identity_sources("${request}")
    # A rebuilt qarvel-pack may answer otherwise.
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${pack_program}")
  else()
    add_custom_command(OUTPUT ${sources} "${work}/launcher.manifest"
      COMMAND "${CMAKE_COMMAND}" "-DQARVEL_IDENTITY_REQUEST=${request}"
              -P "${QARVEL_SOURCE_DIR}/cmake/QarvelIdentity.cmake"
      DEPENDS ${pack_depends} "${request}" "${QARVEL_SOURCE_DIR}/cmake/QarvelIdentity.cmake"
              "${QARVEL_SOURCE_DIR}/cmake/QarvelResources.cmake"
              "${QARVEL_SOURCE_DIR}/resources/launcher.rc.in"
              "${QARVEL_SOURCE_DIR}/resources/launcher.manifest.in"
      COMMENT "Checking the identity of ${name}"
      VERBATIM)
    # The step comes first: a refused identity stops the build before
    # anything is compiled. The scripts' first configure of the project's
    # own tree builds only the launcher image that qarvel-pack will carry
    # (QARVEL_IMAGE_BEFORE_PACKER): there the libraries must not wait for a
    # packer that needs them.
    add_custom_target(${name}_qarvel_identity DEPENDS ${sources} "${work}/launcher.manifest")
    if(NOT QARVEL_IMAGE_BEFORE_PACKER)
      add_dependencies(qarvel_zstd_decompress ${name}_qarvel_identity)
      add_dependencies(qarvel_launcher_core ${name}_qarvel_identity)
    endif()
  endif()
  # windres reports no dependencies: a changed icon or manifest must still
  # rebuild the resources.
  set_source_files_properties("${work}/launcher.rc" PROPERTIES
    OBJECT_DEPENDS "${work}/launcher.manifest;${icon}")
  set(${out} ${sources} PARENT_SCOPE)
endfunction()

if(CMAKE_SCRIPT_MODE_FILE AND QARVEL_IDENTITY_REQUEST)
  _qarvel_identity_sources("${QARVEL_IDENTITY_REQUEST}")
endif()
