#pragma once

// The payload index a launcher carries beside its payload
// (format/payload_index.h), from the payload's entries in stream order.

#include "packer/payload/entry_stream.h"

#include <cstdint>
#include <vector>

namespace qarvel {

// The index of entries, for a payload of payload_bytes, with the option
// bits given (payload_index::quick_check).
std::vector<unsigned char> payload_index(const std::vector<EntryHeader>& entries,
                                         uint64_t payload_bytes, uint32_t options);

} // namespace qarvel
