#pragma once

// The header checksum of a whole file as CheckSumMappedFile computes it: its
// 16-bit words summed with carries folded, the checksum field read as zero,
// plus the file's length.

#include <cstddef>
#include <cstdint>

namespace qarvel {

class ImageChecksum {
  public:
    explicit ImageChecksum(uint64_t checksum_field_offset) : field_(checksum_field_offset) {}
    // Adds bytes that start at the file's offset, in any order and pieces.
    void add(uint64_t offset, const unsigned char* bytes, size_t size);
    uint32_t finish(uint64_t file_bytes) const;

  private:
    void add_byte(uint64_t offset, unsigned char byte);

    uint64_t field_;
    uint64_t sum_ = 0;
};

} // namespace qarvel
