#include "child/fixed_arguments.h"

#include "format/child_arguments.h"
#include "format/image_layout.h"
#include "format/payload_format.h"
#include "launcher/failure.h"
#include "paths/path_template.h"
#include "payload/own_section.h"

#include <cstdint>
#include <windows.h>

constexpr size_t text_capacity_units = child_arguments::command_line_limit_units + 1;
constexpr size_t name_capacity_units = child_arguments::max_variable_name_units + 1;

static wchar_t stored_text[text_capacity_units];
static wchar_t expanded_text[text_capacity_units];
static wchar_t variable_name[name_capacity_units];

namespace {

struct RecordReader {
    const unsigned char* bytes;
    uint64_t size;
    uint64_t offset;
};

uint32_t read_u32(RecordReader& reader) {
    if (reader.size - reader.offset < 4)
        fail_bounds();
    const unsigned char* at = reader.bytes + reader.offset;
    reader.offset += 4;
    return payload_format::get_u32_le(at);
}

// Copies the next text into buffer, terminated; a zero unit inside it
// would cut it short, so it is a fault too.
void read_text(RecordReader& reader, wchar_t* buffer, size_t capacity_units) {
    uint64_t units = read_u32(reader);
    if (units >= capacity_units || units > (reader.size - reader.offset) / 2)
        fail_bounds();
    for (uint64_t i = 0; i < units; ++i) {
        const unsigned char* at = reader.bytes + reader.offset + 2 * i;
        buffer[i] = static_cast<wchar_t>(at[0] | at[1] << 8);
        if (buffer[i] == 0)
            fail_bounds();
    }
    buffer[units] = 0;
    reader.offset += 2 * units;
}

// The record's reader past its header, with its two counts; false when the
// launcher has no such section.
bool open_record(RecordReader& reader, uint32_t& arguments, uint32_t& variables) {
    OwnSection section = find_own_section(image_layout::arguments_section_name);
    if (section.bytes == nullptr)
        return false;
    reader = {section.bytes, section.size, 0};
    if (section.size < child_arguments::header_bytes)
        fail_bounds();
    for (size_t i = 0; i < sizeof child_arguments::magic; ++i) {
        if (section.bytes[i] != child_arguments::magic[i])
            fail_bounds();
    }
    reader.offset = child_arguments::argument_count_offset;
    arguments = read_u32(reader);
    variables = read_u32(reader);
    return true;
}

void expand_stored_text() {
    if (!expand_argument_text(expanded_text, stored_text, text_capacity_units))
        fail_template_expansion(stored_text);
}

} // namespace

void for_each_fixed_argument(void (*append)(const wchar_t* argument)) {
    RecordReader reader{};
    uint32_t arguments = 0, variables = 0;
    if (!open_record(reader, arguments, variables))
        return;
    for (uint32_t i = 0; i < arguments; ++i) {
        read_text(reader, stored_text, text_capacity_units);
        expand_stored_text();
        append(expanded_text);
    }
}

void set_child_variables() {
    RecordReader reader{};
    uint32_t arguments = 0, variables = 0;
    if (!open_record(reader, arguments, variables))
        return;
    for (uint32_t i = 0; i < arguments; ++i)
        read_text(reader, stored_text, text_capacity_units);
    for (uint32_t i = 0; i < variables; ++i) {
        read_text(reader, variable_name, name_capacity_units);
        read_text(reader, stored_text, text_capacity_units);
        expand_stored_text();
        SetEnvironmentVariableW(variable_name, expanded_text);
    }
}
