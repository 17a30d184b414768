#pragma once

// The attached payload's byte format, shared by the launcher and the packer:
//   "ZOQ" | one zstd frame holding the entry stream | zero bytes | trailer
// The trailer is an unsigned 64-bit little-endian value equal to its own
// offset, which is a multiple of 8. Each entry of the stream is
//   name (UTF-16LE units, then a zero unit) | size (u64 LE) | crc32 (u32 LE) | content
// and an empty name ends the stream.

#include <cstddef>
#include <cstdint>

namespace payload_format {

constexpr unsigned char header[3] = {'Z', 'O', 'Q'};
constexpr size_t header_bytes = 3;
constexpr size_t trailer_bytes = 8;
constexpr size_t trailer_alignment = 8;

// Longest entry name in UTF-16 units, without its terminator, and the
// buffer that holds one with its terminator.
constexpr size_t max_name_units = 1023;
constexpr size_t name_capacity_units = max_name_units + 1;

// Largest decoder window the launcher accepts (zstd's default limit).
constexpr unsigned max_window_log = 27;

// The launcher reads a CRC-32 of 0 for a file that is missing or that it
// cannot checksum, and turns a computed 0 into 1. A stored checksum follows
// the same rule, so a missing file with such content is always written; an
// entry stored with 0 counts as up to date whenever its file is missing.
constexpr uint32_t stored_checksum(uint32_t crc32_value) {
    return crc32_value == 0 ? 1 : crc32_value;
}

// Whether a file on disk holds an entry's content, for the launcher and
// qarvel-pack extract alike: it has the entry's size and the stored form of
// its CRC-32 equals the stored checksum, and an empty file holds an empty
// entry. A file that cannot be read, and an empty one, count as checksum 0.
// readable: the file exists and its size is known; file_checksum is
// consulted only when file_bytes is entry_size and not 0, so a caller need
// not read a file of another size.
constexpr bool file_is_up_to_date(bool readable, uint64_t file_bytes, uint32_t file_checksum,
                                  uint64_t entry_size, uint32_t entry_checksum) {
    if (!readable)
        return entry_checksum == 0;
    if (file_bytes == 0)
        return entry_size == 0 || entry_checksum == 0;
    return file_bytes == entry_size && file_checksum == entry_checksum;
}
static_assert(file_is_up_to_date(true, 0, 0, 0, stored_checksum(0)), "an empty file, empty entry");
static_assert(!file_is_up_to_date(false, 0, 0, 0, stored_checksum(0)), "a missing file is written");
static_assert(!file_is_up_to_date(true, 5, 7, 6, 7), "another size differs");

// Zero bytes between the end of the frame and the trailer: at least one, so
// that a read past the frame always meets bytes that begin no frame.
constexpr uint64_t padding_before_trailer(uint64_t frame_end_offset) {
    return trailer_alignment - frame_end_offset % trailer_alignment;
}

inline void put_u64_le(unsigned char* out, uint64_t value) {
    for (int i = 0; i < 8; ++i)
        out[i] = static_cast<unsigned char>(value >> (8 * i));
}

inline void put_u32_le(unsigned char* out, uint32_t value) {
    for (int i = 0; i < 4; ++i)
        out[i] = static_cast<unsigned char>(value >> (8 * i));
}

inline uint64_t get_u64_le(const unsigned char* in) {
    uint64_t value = 0;
    for (int i = 7; i >= 0; --i)
        value = (value << 8) | in[i];
    return value;
}

inline uint32_t get_u32_le(const unsigned char* in) {
    uint32_t value = 0;
    for (int i = 3; i >= 0; --i)
        value = (value << 8) | in[i];
    return value;
}

} // namespace payload_format
