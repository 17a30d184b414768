#pragma once

// Entry-stream bytes written by hand, for tests that need a stream the packer
// would not write: the one encoder of entries for the host tests and the
// forge. Each entry is its UTF-16LE name with a terminator, its size (64-bit)
// and stored checksum (32-bit), little-endian, then its content; two zero
// bytes end the stream.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace qarvel_test {

using Bytes = std::vector<unsigned char>;

// The CRC-32 of content, and the checksum the packer stores for it.
uint32_t crc32_of(const Bytes& content);
uint32_t checksum_of(const Bytes& content);

// The name and the fields of one entry, without its content; returns the
// offset of its fields (the size, then the checksum) in stream.
size_t append_entry_header(Bytes& stream, const std::u16string& name, uint64_t size,
                           uint32_t checksum);

// One whole entry, checksum given.
void append_entry(Bytes& stream, const std::u16string& name, const Bytes& content,
                  uint32_t checksum);

void append_end_marker(Bytes& stream);

} // namespace qarvel_test
