#pragma once

#include <cstddef>
#include <windows.h>

// Capacity, in UTF-16 units with the terminator, of a fatal line: a full
// path or a long template with the words around it, or a system text.
constexpr size_t failure_line_capacity_units = 16384;

// Gives the user a fatal line, std_handle_id naming the standard stream it
// belongs on (STD_OUTPUT_HANDLE or STD_ERROR_HANDLE). A console gets the
// characters themselves through its wide output; a file or pipe gets UTF-8,
// which is what logs read. A line of ASCII text gives the same bytes either
// way as the C runtime's text mode would: the line, then CR LF. The
// windowed launcher, which has no console, writes the line the same way
// when it was given that stream, and shows it in a message box titled with
// the product name where someone can see it (a visible window station);
// this returns once the user has closed the box, or at once where no one
// would see it.
void show_failure_line(DWORD std_handle_id, const wchar_t* line);
