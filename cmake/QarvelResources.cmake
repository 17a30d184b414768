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

# Writes WORK/launcher.rc and its manifest and sets OUT to the former, ready
# to be a source of the launcher executable. COMPANY, PRODUCT, VERSION (four
# numbers), ICON, DESCRIPTION, ORIGINAL_FILENAME and INTERNAL_NAME are
# required, COPYRIGHT is left out when empty; ELEVATED asks for
# administrator rights.
function(_qarvel_launcher_resources out work)
  cmake_parse_arguments(PARSE_ARGV 2 ARG "ELEVATED"
    "COMPANY;PRODUCT;VERSION;ICON;COPYRIGHT;DESCRIPTION;ORIGINAL_FILENAME;INTERNAL_NAME" "")
  string(REPLACE "." "," rc_version_numbers "${ARG_VERSION}")
  foreach(field COMPANY PRODUCT VERSION DESCRIPTION ORIGINAL_FILENAME INTERNAL_NAME COPYRIGHT)
    string(TOLOWER "rc_${field}" variable)
    _qarvel_rc_string(${variable} "${ARG_${field}}")
  endforeach()
  set(rc_copyright_value "")
  if(NOT "${ARG_COPYRIGHT}" STREQUAL "")
    set(rc_copyright_value "VALUE \"LegalCopyright\", \"${rc_copyright}\"")
  endif()

  # A program whose own manifest requires elevation cannot be started by a
  # launcher that runs as the invoker (CreateProcessW fails with error 740):
  # such a launcher must ask for the rights itself.
  if(ARG_ELEVATED)
    set(execution_level requireAdministrator)
  else()
    set(execution_level asInvoker)
  endif()
  set(manifest "${work}/launcher.manifest")
  configure_file("${QARVEL_SOURCE_DIR}/resources/launcher.manifest.in" "${manifest}" @ONLY)
  _qarvel_rc_string(rc_manifest "${manifest}")
  _qarvel_rc_string(rc_icon "${ARG_ICON}")

  configure_file("${QARVEL_SOURCE_DIR}/resources/launcher.rc.in" "${work}/launcher.rc" @ONLY)
  # windres reports no dependencies: a changed icon or manifest must still
  # rebuild the resources.
  set_source_files_properties("${work}/launcher.rc" PROPERTIES OBJECT_DEPENDS "${manifest};${ARG_ICON}")
  set(${out} "${work}/launcher.rc" PARENT_SCOPE)
endfunction()
