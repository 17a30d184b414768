#pragma once

#include <cstddef>

constexpr size_t child_command_line_capacity_units = 32768;

// The child's command line: the launcher's full file name, its fixed
// arguments (child/fixed_arguments.h), then the launcher's own arguments, each quoted where the
// Windows splitting rules need it. Returns the process-wide buffer, rebuilt on every call. One
// longer than CreateProcessW takes ends the process through
// fail_command_line_too_long.
wchar_t* build_child_command_line();

// The units append_quoted_argument appends for argument.
size_t quoted_argument_units(const wchar_t* argument);

// Appends one argument to command_line as the splitting rules read it back.
void append_quoted_argument(wchar_t* command_line, size_t capacity_units, const wchar_t* argument);
