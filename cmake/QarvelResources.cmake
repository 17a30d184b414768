# The resources of a launcher image: manifest, icon and version information,
# the latter from the same company, product and version that the launcher's
# path-template tokens use.
include_guard(GLOBAL)

# Text inside a quoted resource-script string: doubled quotes, escaped
# backslashes (the compiler reads the file as UTF-8).
function(_qarvel_rc_string out text)
  string(REPLACE "\\" "\\\\" text "${text}")
  string(REPLACE "\"" "\"\"" text "${text}")
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

# Writes WORK/launcher.rc and its manifest WORK/launcher.manifest from a
# completed identity, the QARVEL_IDENTITY_... variables of
# "qarvel-pack identity --cmake". The copyright is left out when empty;
# elevation asks for administrator rights.
function(_qarvel_write_launcher_resources work)
  string(REPLACE "." "," rc_version_numbers "${QARVEL_IDENTITY_VERSION}")
  foreach(field COMPANY PRODUCT VERSION DESCRIPTION ORIGINAL_FILENAME INTERNAL_NAME COPYRIGHT)
    string(TOLOWER "rc_${field}" variable)
    _qarvel_rc_string(${variable} "${QARVEL_IDENTITY_${field}}")
  endforeach()
  set(rc_copyright_value "")
  if(NOT "${QARVEL_IDENTITY_COPYRIGHT}" STREQUAL "")
    set(rc_copyright_value "VALUE \"LegalCopyright\", \"${rc_copyright}\"")
  endif()

  # A program whose own manifest requires elevation cannot be started by a
  # launcher that runs as the invoker (CreateProcessW fails with error 740):
  # such a launcher must ask for the rights itself.
  if(QARVEL_IDENTITY_ELEVATED)
    set(execution_level requireAdministrator)
  else()
    set(execution_level asInvoker)
  endif()
  set(manifest "${work}/launcher.manifest")
  configure_file("${QARVEL_SOURCE_DIR}/resources/launcher.manifest.in" "${manifest}.in" @ONLY)
  # The elevated console launcher has no use for the Common Controls
  # dependency: it goes, with the two marker comments around it, which go
  # from every other launcher's manifest. qarvel-pack does the same.
  file(READ "${manifest}.in" manifest_text)
  set(begin "  <!-- common-controls -->\n")
  set(end "  <!-- /common-controls -->\n")
  if(QARVEL_IDENTITY_ELEVATED AND NOT QARVEL_IDENTITY_WINDOWED)
    string(REGEX REPLACE "${begin}.*${end}" "" manifest_text "${manifest_text}")
  else()
    string(REPLACE "${begin}" "" manifest_text "${manifest_text}")
    string(REPLACE "${end}" "" manifest_text "${manifest_text}")
  endif()
  file(CONFIGURE OUTPUT "${manifest}" CONTENT "${manifest_text}" @ONLY)
  _qarvel_rc_string(rc_manifest "${manifest}")
  _qarvel_rc_string(rc_icon "${QARVEL_IDENTITY_ICON}")
  _qarvel_rc_string(rc_notices "${QARVEL_REQUEST_NOTICES}")
  configure_file("${QARVEL_SOURCE_DIR}/resources/launcher.rc.in" "${work}/launcher.rc" @ONLY)
endfunction()
