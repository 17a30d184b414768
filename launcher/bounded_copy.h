#pragma once

#include <cstddef>

// The one bounded copy of the launcher. Buffers hold zero-terminated UTF-16
// text; capacity_units counts the terminator. A unit that does not fit ends
// the process through fail_bounds: nothing is ever cut short.

// Appends source at the end of the text already in buffer.
void append_bounded(wchar_t* buffer, size_t capacity_units, const wchar_t* source);

// Appends one unit at the end of the text already in buffer.
void append_unit_bounded(wchar_t* buffer, size_t capacity_units, wchar_t unit);

// Appends narrow text, each character widened on its own by the C library's
// conversion; one that does not give exactly one unit ends through fail_bounds.
void append_narrow_bounded(wchar_t* buffer, size_t capacity_units, const char* narrow);

// Replaces the text in buffer by source.
void copy_bounded(wchar_t* buffer, size_t capacity_units, const wchar_t* source);

// Length in units, without the terminator, of a text known to be terminated
// within capacity_units; fail_bounds when it is not.
size_t bounded_length(const wchar_t* buffer, size_t capacity_units);
