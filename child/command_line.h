#pragma once

#include <cstddef>

constexpr size_t child_command_line_capacity_units = 32768;

// The child's command line: the launcher's full file name, then the
// launcher's own arguments, each quoted where the Windows splitting rules
// need it. Returns the process-wide buffer, rebuilt on every call.
wchar_t* build_child_command_line();

// Appends one argument to command_line as the splitting rules read it back.
void append_quoted_argument(wchar_t* command_line, size_t capacity_units, const wchar_t* argument);
