#pragma once

// The payload index: every entry of the payload's stream, in stream order,
// with its name, size and stored checksum, kept beside the payload in a
// section of its own. A launch tests the files on disk against it before it
// decodes anything, and decodes nothing when all are up to date.
//
//   magic (8) | checksum (u32) | options (u32) | payload bytes (u64)
//   | entry count (u64) | body bytes (u64) | body
//
// The checksum is the CRC-32 of everything after it: the options, the three
// counts and the body. The payload bytes are the length of the payload the
// index describes: an index read beside a payload of another length is
// ignored. The body holds, for each entry,
//
//   name units (u16) | name (UTF-16LE, no terminator) | size (u64) | stored checksum (u32)
//
// All numbers are little-endian. The payload's own format does not depend
// on the index: a launcher without one unpacks from the stream alone.

#include <cstddef>
#include <cstdint>

namespace payload_index {

constexpr unsigned char magic[8] = {'Q', 'a', 'r', 'v', 'I', 'd', 'x', '1'};
constexpr size_t checksum_offset = 8;
constexpr size_t checked_from = 12;
constexpr size_t options_offset = 12;
constexpr size_t payload_bytes_offset = 16;
constexpr size_t entry_count_offset = 24;
constexpr size_t body_bytes_offset = 32;
constexpr size_t header_bytes = 40;

// Option bits.
// A launch that finds every file as a record of its last full check saw
// them (size, times, attributes) starts the child without opening any.
constexpr uint32_t quick_check = 1;

// An entry's bytes besides its name's units.
constexpr size_t entry_fixed_bytes = 2 + 8 + 4;

} // namespace payload_index
