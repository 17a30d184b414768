#pragma once

// The start of a payload's first entry, its main executable, read without
// reading on.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace qarvel {

// The name and the first head_bytes of the content of a sound payload's
// first entry.
std::vector<unsigned char> first_entry_head(const unsigned char* payload, uint64_t payload_bytes,
                                            size_t head_bytes, std::u16string* name);

} // namespace qarvel
