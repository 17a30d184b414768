# qarvel_add_onefile_launcher (cmake/QarvelOnefile.cmake) for a project not
# built with the mingw-w64 toolchain: a custom target NAME that runs "qarvel-pack launcher" and
# writes NAME.exe (or OUTPUT_NAME.exe) into the current binary folder. The
# packer fills in the defaults and checks every option; its dependency file
# remakes the launcher when a file of APP_DIR is added, changed or removed.
# The target's QARVEL_LAUNCHER_FILE property names the launcher, for install().
include_guard(GLOBAL)

if(NOT QARVEL_PACK)
  message(FATAL_ERROR "QarvelOnefile: a project not configured with the mingw-w64 toolchain "
    "makes its launchers with qarvel-pack: set QARVEL_PACK to a qarvel-pack that carries the "
    "launcher image (build/host/packer/qarvel-pack of a Qarvel build)")
endif()

# The body of qarvel_add_onefile_launcher(NAME ...), from its arguments as
# QarvelOnefile.cmake has checked and parsed them (ARG_...).
function(_qarvel_onefile_launcher name)
  set(context "qarvel_add_onefile_launcher(${name})")
  set(command "${QARVEL_PACK}" launcher)
  if(ARG_PAYLOAD AND ARG_APP_DIR)
    message(FATAL_ERROR "${context}: give PAYLOAD or APP_DIR, not both")
  elseif(ARG_PAYLOAD)
    get_filename_component(payload "${ARG_PAYLOAD}" ABSOLUTE BASE_DIR "${CMAKE_CURRENT_SOURCE_DIR}")
    list(APPEND command --payload "${payload}")
  elseif(ARG_APP_DIR)
    if(NOT ARG_MAIN)
      message(FATAL_ERROR "${context}: APP_DIR needs MAIN")
    endif()
    get_filename_component(app_dir "${ARG_APP_DIR}" ABSOLUTE BASE_DIR "${CMAKE_CURRENT_SOURCE_DIR}")
    list(APPEND command "${app_dir}" --main "${ARG_MAIN}" ${ARG_PACK_OPTIONS})
  else()
    message(FATAL_ERROR "${context}: give PAYLOAD or APP_DIR")
  endif()

  if(NOT "${ARG_ICON}" STREQUAL "")
    get_filename_component(ARG_ICON "${ARG_ICON}" ABSOLUTE BASE_DIR "${CMAKE_CURRENT_SOURCE_DIR}")
  endif()
  foreach(field TARGET_SPEC COMPANY PRODUCT VERSION ICON COPYRIGHT DESCRIPTION ORIGINAL_FILENAME INTERNAL_NAME)
    if(NOT "${ARG_${field}}" STREQUAL "")
      string(TOLOWER "--${field}" option)
      string(REPLACE "_" "-" option "${option}")
      list(APPEND command "${option}" "${ARG_${field}}")
    endif()
  endforeach()
  foreach(flag ELEVATED WINDOWED)
    if(ARG_${flag})
      string(TOLOWER "--${flag}" option)
      list(APPEND command "${option}")
    endif()
  endforeach()

  set(file_name "${name}")
  if(ARG_OUTPUT_NAME)
    set(file_name "${ARG_OUTPUT_NAME}")
  endif()
  set(output "${CMAKE_CURRENT_BINARY_DIR}/${file_name}.exe")
  # DEPENDS takes targets and files alike: a target is built first.
  add_custom_command(OUTPUT "${output}"
    COMMAND ${command} -o "${output}" --depfile "${output}.d" --quiet
    DEPENDS "${QARVEL_PACK}" ${ARG_DEPENDS} ${ARG_ICON}
    DEPFILE "${output}.d"
    COMMENT "Making the launcher ${file_name}.exe"
    VERBATIM)
  add_custom_target(${name} ALL DEPENDS "${output}")
  set_target_properties(${name} PROPERTIES QARVEL_LAUNCHER_FILE "${output}")
endfunction()
