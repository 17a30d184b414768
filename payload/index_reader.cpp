#include "payload/index_reader.h"

#include "format/payload_format.h"
#include "format/payload_index.h"
#include "launcher/failure.h"

#include <cstring>
#include <zlib.h>

static const unsigned char* index_body;
static uint64_t index_body_bytes;
static uint64_t index_entry_count;
static uint32_t index_options;
static uint32_t index_checksum;
// Where the next entry starts in the body, and how many have been read.
static uint64_t next_entry_offset;
static uint64_t entries_read;

[[noreturn]] static void fail_damaged_index() {
    fail_plain("Error, couldn't decode attached data.");
}

// The CRC-32 of any length, in pieces zlib's 32-bit length takes.
static uint32_t checksum_of(const unsigned char* bytes, uint64_t size) {
    uLong crc = crc32(0L, Z_NULL, 0);
    while (size > 0) {
        uInt piece = size > 0x40000000 ? 0x40000000 : static_cast<uInt>(size);
        crc = crc32(crc, bytes, piece);
        bytes += piece;
        size -= piece;
    }
    return static_cast<uint32_t>(crc);
}

bool open_payload_index_over(const unsigned char* index, uint64_t index_bytes,
                             uint64_t payload_bytes) {
    if (index == nullptr)
        return false;
    if (index_bytes < payload_index::header_bytes ||
        memcmp(index, payload_index::magic, sizeof payload_index::magic) != 0)
        fail_damaged_index();
    uint64_t body_bytes = payload_format::get_u64_le(index + payload_index::body_bytes_offset);
    if (body_bytes > index_bytes - payload_index::header_bytes)
        fail_damaged_index();
    if (checksum_of(index + payload_index::checked_from,
                    payload_index::header_bytes - payload_index::checked_from + body_bytes) !=
        payload_format::get_u32_le(index + payload_index::checksum_offset))
        fail_damaged_index();
    if (payload_format::get_u64_le(index + payload_index::payload_bytes_offset) != payload_bytes)
        return false;
    index_options = payload_format::get_u32_le(index + payload_index::options_offset);
    index_checksum = payload_format::get_u32_le(index + payload_index::checksum_offset);
    index_body = index + payload_index::header_bytes;
    index_body_bytes = body_bytes;
    index_entry_count = payload_format::get_u64_le(index + payload_index::entry_count_offset);
    rewind_payload_index();
    return true;
}

uint32_t payload_index_checksum() {
    return index_checksum;
}

uint32_t payload_index_options() {
    return index_options;
}

uint64_t payload_index_entry_count() {
    return index_entry_count;
}

void rewind_payload_index() {
    next_entry_offset = 0;
    entries_read = 0;
}

void read_index_entry(wchar_t* name, EntryFields* fields) {
    uint64_t left = index_body_bytes - next_entry_offset;
    if (entries_read == index_entry_count || left < payload_index::entry_fixed_bytes)
        fail_damaged_index();
    const unsigned char* entry = index_body + next_entry_offset;
    size_t units = entry[0] | entry[1] << 8;
    if (units == 0 || units > payload_format::max_name_units ||
        left - payload_index::entry_fixed_bytes < 2 * uint64_t{units})
        fail_damaged_index();
    const unsigned char* name_bytes = entry + 2;
    for (size_t i = 0; i < units; ++i)
        name[i] = static_cast<wchar_t>(name_bytes[2 * i] | name_bytes[2 * i + 1] << 8);
    name[units] = 0;
    const unsigned char* numbers = name_bytes + 2 * units;
    fields->size = payload_format::get_u64_le(numbers);
    fields->checksum = payload_format::get_u32_le(numbers + 8);
    next_entry_offset += payload_index::entry_fixed_bytes + 2 * uint64_t{units};
    ++entries_read;
}
