#pragma once

// The one parser of the entry stream's headers: each entry's name, size and
// checksum, read from the open payload reader. The launcher unpacks through
// it, and the packer's tools and the fuzzer read payloads through it, so
// what is checked on the build machine is what runs on users' machines.
// It reads as the launcher always has: the name one unit at a time, then
// the size and the checksum.

#include "format/payload_format.h"
#include "payload/payload_reader.h"

#include <cstddef>
#include <cstdint>

struct EntryFields {
    uint64_t size;
    uint32_t checksum;
};

enum class EntryHeaderRead { entry, end_marker, name_too_long };

// Reads the next name into name, which holds payload_format::name_capacity_units
// units and is left zero-terminated, then the entry's fields. At the end
// marker the name is empty and no field is read. A name is too long as soon
// as a unit beyond payload_format::max_name_units has been read; the
// caller ends there. Unit is the caller's 16-bit character type.
template <typename Unit> EntryHeaderRead read_entry_header(Unit* name, EntryFields* fields) {
    size_t units = 0;
    for (;;) {
        unsigned char bytes[2];
        read_payload(bytes, 2);
        auto unit = static_cast<Unit>(bytes[0] | bytes[1] << 8);
        if (unit == 0)
            break;
        if (units == payload_format::max_name_units)
            return EntryHeaderRead::name_too_long;
        name[units++] = unit;
    }
    name[units] = 0;
    if (units == 0)
        return EntryHeaderRead::end_marker;
    unsigned char bytes[12];
    read_payload(bytes, 8);
    read_payload(bytes + 8, 4);
    fields->size = payload_format::get_u64_le(bytes);
    fields->checksum = payload_format::get_u32_le(bytes + 8);
    return EntryHeaderRead::entry;
}
