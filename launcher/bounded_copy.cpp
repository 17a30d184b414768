#include "launcher/bounded_copy.h"

#include "launcher/failure.h"

#include <cstdlib>

size_t bounded_length(const wchar_t* buffer, size_t capacity_units) {
    for (size_t length = 0; length < capacity_units; ++length) {
        if (buffer[length] == 0)
            return length;
    }
    fail_bounds();
}

void append_bounded(wchar_t* buffer, size_t capacity_units, const wchar_t* source) {
    size_t length = bounded_length(buffer, capacity_units);
    for (; *source != 0; ++source) {
        // Room for this unit and the terminator after it.
        if (length + 1 >= capacity_units)
            fail_bounds();
        buffer[length++] = *source;
        buffer[length] = 0;
    }
}

void append_unit_bounded(wchar_t* buffer, size_t capacity_units, wchar_t unit) {
    const wchar_t text[2] = {unit, 0};
    append_bounded(buffer, capacity_units, text);
}

void copy_bounded(wchar_t* buffer, size_t capacity_units, const wchar_t* source) {
    if (capacity_units == 0)
        fail_bounds();
    buffer[0] = 0;
    append_bounded(buffer, capacity_units, source);
}

void append_narrow_bounded(wchar_t* buffer, size_t capacity_units, const char* narrow) {
    for (; *narrow != 0; ++narrow) {
        const char one_byte[2] = {*narrow, 0};
        wchar_t unit[2] = {0, 0};
        if (mbstowcs(unit, one_byte, 2) != 1)
            fail_bounds();
        append_unit_bounded(buffer, capacity_units, unit[0]);
    }
}
