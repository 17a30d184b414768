#pragma once

// The payload index (format/payload_index.h) of the launcher's own image,
// read front to back, as often as the launch needs.

#include "payload/entry_header.h"

#include <cstdint>

// Opens the index beside the launcher's payload. False when the image has
// none, or one that describes a payload of another length (one placed by
// another tool): the launch then unpacks from the stream alone. An index
// that fails its checksum ends the launch as damaged data does.
bool open_payload_index();

uint64_t payload_index_entry_count();

// Back to the first entry.
void rewind_payload_index();

// The next entry's name into name (payload_format::name_capacity_units
// units, left zero-terminated) and its fields. An index that holds no
// further entry, or one whose entry does not fit, ends the launch as
// damaged data does.
void read_index_entry(wchar_t* name, EntryFields* fields);
