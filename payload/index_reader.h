#pragma once

// The payload index (format/payload_index.h), read front to back, as often
// as the launch needs. Every failure goes through fail_plain, as the
// payload reader's do.

#include "payload/entry_header.h"

#include <cstdint>

// Opens the index beside the launcher's payload. False when the image has
// none, or one that describes a payload of another length (one placed by
// another tool): the launch then unpacks from the stream alone. An index
// that fails its checksum ends the launch as damaged data does.
bool open_payload_index();

// The same over any index bytes (nullptr for none) and the length of the
// payload beside them; host tools pass what they hold.
bool open_payload_index_over(const unsigned char* index, uint64_t index_bytes,
                             uint64_t payload_bytes);

// The index's own checksum: with the entry count, what tells one payload
// from another.
uint32_t payload_index_checksum();

// The index's option bits (payload_index::quick_check).
uint32_t payload_index_options();

uint64_t payload_index_entry_count();

// Back to the first entry.
void rewind_payload_index();

// The next entry's name into name (payload_format::name_capacity_units
// units, left zero-terminated) and its fields. An index that holds no
// further entry, or one whose entry does not fit, ends the launch as
// damaged data does.
void read_index_entry(wchar_t* name, EntryFields* fields);
