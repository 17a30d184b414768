# The resources of a launcher image: manifest, icon and version information,
# the latter from the same company, product and version that the launcher's
# path-template tokens use.
include_guard(GLOBAL)

enable_language(RC)

# Text inside a quoted resource-script string: doubled quotes, escaped
# backslashes (the compiler reads the file as UTF-8).
function(_qarvel_rc_string out text)
  string(REPLACE "\\" "\\\\" text "${text}")
  string(REPLACE "\"" "\"\"" text "${text}")
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

# Writes WORK/launcher.rc and sets OUT to it, ready to be a source of the
# launcher executable.
function(_qarvel_launcher_resources out work company product version icon)
  # Each of the four numbers is a 16-bit field of the version resource.
  string(REPLACE "." ";" numbers "${version}")
  foreach(number IN LISTS numbers)
    if(number GREATER 65535)
      message(FATAL_ERROR "VERSION ${version}: each number must be at most 65535")
    endif()
  endforeach()
  string(REPLACE "." "," rc_version_numbers "${version}")

  _qarvel_rc_string(rc_company "${company}")
  _qarvel_rc_string(rc_product "${product}")
  _qarvel_rc_string(rc_version "${version}")
  set(manifest "${QARVEL_SOURCE_DIR}/resources/launcher.manifest")
  _qarvel_rc_string(rc_manifest "${manifest}")
  _qarvel_rc_string(rc_icon "${icon}")

  configure_file("${QARVEL_SOURCE_DIR}/resources/launcher.rc.in" "${work}/launcher.rc" @ONLY)
  # windres reports no dependencies: a changed icon or manifest must still
  # rebuild the resources.
  set_source_files_properties("${work}/launcher.rc" PROPERTIES OBJECT_DEPENDS "${manifest};${icon}")
  set(${out} "${work}/launcher.rc" PARENT_SCOPE)
endfunction()
