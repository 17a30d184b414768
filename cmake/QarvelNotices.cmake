# The licence notices of the libraries every launcher links statically, as
# one text that each launcher carries as its RCDATA resource 1: zstd's BSD
# licence and the mingw-w64 runtime's licences ask that a binary
# redistribution reproduce them. The texts come from the zstd sources and
# Debian's copyright files; nothing of them is kept in this repository.
include_guard(GLOBAL)

# The DEP-5 paragraph of TEXT that starts with the line FIRST_LINE.
function(_qarvel_copyright_paragraph out text first_line source)
  string(FIND "\n\n${text}" "\n\n${first_line}\n" start)
  if(start EQUAL -1)
    message(FATAL_ERROR "${source} has no paragraph \"${first_line}\"")
  endif()
  string(SUBSTRING "${text}\n\n" ${start} -1 rest)
  string(FIND "${rest}" "\n\n" end)
  string(SUBSTRING "${rest}" 0 ${end} paragraph)
  set(${out} "${paragraph}" PARENT_SCOPE)
endfunction()

function(_qarvel_notices_from out source)
  if(NOT EXISTS "${source}")
    message(FATAL_ERROR "${source} is missing: the launcher's licence notices are read from it")
  endif()
  file(READ "${source}" text)
  set(notices "")
  foreach(first_line IN LISTS ARGN)
    _qarvel_copyright_paragraph(paragraph "${text}" "${first_line}" "${source}")
    string(APPEND notices "\n${paragraph}\n")
  endforeach()
  set(${out} "${notices}" PARENT_SCOPE)
endfunction()

# Writes the notices to OUT; ZSTD_SOURCE is the zstd source tree.
function(qarvel_write_licence_notices out zstd_source)
  file(READ "${zstd_source}/LICENSE" zstd)
  set(doc /usr/share/doc)
  # The runtime's start-up code, and the formatted output (gdtoa) that
  # snprintf brings in; winpthreads is not linked.
  _qarvel_notices_from(mingw "${doc}/mingw-w64-common/copyright" "Files: *"
    "Files: mingw-w64-crt/crt/*" "Files: mingw-w64-crt/gdtoa/*"
    "Files: mingw-w64-crt/gdtoa/qnan.c")
  _qarvel_notices_from(zlib "${doc}/libz-mingw-w64-dev/copyright" "Files: *" "License: Zlib")
  file(CONFIGURE OUTPUT "${out}" CONTENT [[
Licence notices of the libraries in this program

This program was made with Qarvel. It contains code of the libraries below,
statically linked; their licences ask that these notices go with it.

== zstd (the decompressor), https://facebook.github.io/zstd/

@zstd@
== The mingw-w64 runtime, https://www.mingw-w64.org/
   (from Debian's copyright file of mingw-w64-common)
@mingw@
== zlib (the CRC-32), https://zlib.net/
   (from Debian's copyright file of libz-mingw-w64-dev)
@zlib@]] @ONLY NEWLINE_STYLE CRLF)
endfunction()
