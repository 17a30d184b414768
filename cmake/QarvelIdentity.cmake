# What a launcher says it is: the company, product and version that its
# version information and path-template tokens share, the cache folder they
# name by default, and the checks of these inputs made before anything is
# compiled.
include_guard(GLOBAL)

set(QARVEL_DEFAULT_COMPANY "Lumbrook Crafts")
set(QARVEL_DEFAULT_PRODUCT "Quillowmere")
set(QARVEL_DEFAULT_VERSION "1.20.0.0")
set(QARVEL_DEFAULT_ICON "${QARVEL_SOURCE_DIR}/resources/qarvel.ico")

# One folder name made from an identity text. Characters Windows forbids in
# names go, and so do braces, which would read as path-template tokens;
# Windows drops trailing dots and spaces, so they go too.
function(_qarvel_folder_name out context text)
  string(REGEX REPLACE "[<>:\"/\\|?*{}]" "" text "${text}")
  string(REGEX REPLACE "[. ]+$" "" text "${text}")
  string(STRIP "${text}" text)
  if(text STREQUAL "")
    message(FATAL_ERROR "${context} leaves no name for the cache folder: give TARGET_SPEC")
  endif()
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

# The cache folder a launcher gets without TARGET_SPEC:
# <root>\<company without spaces>\<product>\<first two version numbers>.
# The example identity gives {CACHE_DIR}\LumbrookCrafts\Quillowmere\1.20.
# root is {CACHE_DIR}, or {PROGRAM_FILES} for an elevated launcher, which
# runs nothing from a folder that programs without administrator rights
# could change.
function(qarvel_identity_target_spec out context root company product version)
  _qarvel_folder_name(company_folder "${context}: COMPANY \"${company}\"" "${company}")
  string(REPLACE " " "" company_folder "${company_folder}")
  _qarvel_folder_name(product_folder "${context}: PRODUCT \"${product}\"" "${product}")
  string(REGEX MATCH "^[0-9]+\\.[0-9]+" version_folder "${version}")
  set(${out} "${root}\\${company_folder}\\${product_folder}\\${version_folder}" PARENT_SCOPE)
endfunction()

# Each of the four numbers is a 16-bit field of the version resource.
function(qarvel_check_version context version)
  if(NOT version MATCHES "^[0-9]+\\.[0-9]+\\.[0-9]+\\.[0-9]+$")
    message(FATAL_ERROR "${context}: VERSION ${version} must be four numbers, as 1.20.0.0")
  endif()
  string(REPLACE "." ";" numbers "${version}")
  foreach(number IN LISTS numbers)
    # Compared as text first: a number too long for CMake's integers is
    # still refused.
    string(LENGTH "${number}" digits)
    if(digits GREATER 5 OR number GREATER 65535)
      message(FATAL_ERROR "${context}: VERSION ${version}: each number must be at most 65535")
    endif()
  endforeach()
endfunction()

# An .ico file starts with a reserved zero word, the type 1 and a count of
# images that is not zero; the resource compiler would take other files and
# fail later, or not at all.
function(qarvel_check_icon context icon)
  if(NOT EXISTS "${icon}" OR IS_DIRECTORY "${icon}")
    message(FATAL_ERROR "${context}: no such icon file: ${icon}")
  endif()
  file(READ "${icon}" header LIMIT 6 HEX)
  string(LENGTH "${header}" header_digits)
  if(NOT header_digits EQUAL 12 OR NOT header MATCHES "^00000100" OR header MATCHES "0000$")
    message(FATAL_ERROR "${context}: ${icon} is not an icon (.ico) file")
  endif()
endfunction()

# Completes, in the caller's scope, the identity arguments (ARG_...) of
# qarvel_add_onefile_launcher(NAME ...) that were not given, and checks them.
function(_qarvel_complete_identity name)
  set(context "qarvel_add_onefile_launcher(${name})")
  set(chose_identity FALSE)
  foreach(field COMPANY PRODUCT VERSION)
    if("${ARG_${field}}" STREQUAL "")
      set(ARG_${field} "${QARVEL_DEFAULT_${field}}")
    else()
      set(chose_identity TRUE)
    endif()
  endforeach()
  qarvel_check_version("${context}" "${ARG_VERSION}")

  if("${ARG_TARGET_SPEC}" STREQUAL "")
    set(root "{CACHE_DIR}")
    if(ARG_ELEVATED)
      set(root "{PROGRAM_FILES}")
    endif()
    qarvel_identity_target_spec(ARG_TARGET_SPEC "${context}" "${root}" "${ARG_COMPANY}" "${ARG_PRODUCT}" "${ARG_VERSION}")
    if(ARG_APP_DIR AND NOT chose_identity)
      message(WARNING "${context} keeps the example identity, so it unpacks into "
        "${ARG_TARGET_SPEC}, the cache folder that every launcher keeping it shares: "
        "give COMPANY, PRODUCT and VERSION (or TARGET_SPEC) to give it a folder of its own.")
    endif()
  elseif(ARG_ELEVATED)
    # A folder of the user's, or one the user chooses by where the launcher
    # is run from, fails the elevated launcher's check on most machines.
    string(TOUPPER "${ARG_TARGET_SPEC}" spec)
    if(spec MATCHES "^{(CACHE_DIR|HOME|TEMP|PROGRAM|PROGRAM_BASE|PROGRAM_DIR)}")
      message(WARNING "${context} is ELEVATED, and TARGET_SPEC ${ARG_TARGET_SPEC} starts in a folder "
        "that programs without administrator rights may change: the launcher will refuse to run from it "
        "on most machines. Leave TARGET_SPEC out for a folder below {PROGRAM_FILES}.")
    endif()
  endif()

  if("${ARG_ICON}" STREQUAL "")
    set(ARG_ICON "${QARVEL_DEFAULT_ICON}")
  endif()
  get_filename_component(ARG_ICON "${ARG_ICON}" ABSOLUTE BASE_DIR "${CMAKE_CURRENT_SOURCE_DIR}")
  qarvel_check_icon("${context}" "${ARG_ICON}")

  # The file description repeats the product unless told otherwise; the
  # platform's documentation asks for an internal name, and for a file
  # without one, the original file name without its extension.
  if("${ARG_DESCRIPTION}" STREQUAL "")
    set(ARG_DESCRIPTION "${ARG_PRODUCT}")
  endif()
  if("${ARG_ORIGINAL_FILENAME}" STREQUAL "")
    if(ARG_OUTPUT_NAME)
      set(ARG_ORIGINAL_FILENAME "${ARG_OUTPUT_NAME}${CMAKE_EXECUTABLE_SUFFIX}")
    else()
      set(ARG_ORIGINAL_FILENAME "${name}${CMAKE_EXECUTABLE_SUFFIX}")
    endif()
  endif()
  if("${ARG_INTERNAL_NAME}" STREQUAL "")
    get_filename_component(ARG_INTERNAL_NAME "${ARG_ORIGINAL_FILENAME}" NAME_WLE)
  endif()

  foreach(field COMPANY PRODUCT VERSION TARGET_SPEC ICON DESCRIPTION ORIGINAL_FILENAME INTERNAL_NAME)
    set(ARG_${field} "${ARG_${field}}" PARENT_SCOPE)
  endforeach()
endfunction()
