#include "packer/payload/payload_index.h"

#include "format/payload_format.h"
#include "format/payload_index.h"
#include "packer/refusal.h"

#include <cstring>
#include <zlib.h>

namespace qarvel {

std::vector<unsigned char> payload_index(const std::vector<EntryHeader>& entries,
                                         uint64_t payload_bytes, uint32_t options) {
    std::vector<unsigned char> index(payload_index::header_bytes);
    std::memcpy(index.data(), payload_index::magic, sizeof payload_index::magic);
    for (const EntryHeader& entry : entries) {
        if (entry.name.empty() || entry.name.size() > payload_format::max_name_units)
            throw std::logic_error("an entry name the payload's reader refuses");
        unsigned char fields[12];
        index.push_back(static_cast<unsigned char>(entry.name.size()));
        index.push_back(static_cast<unsigned char>(entry.name.size() >> 8));
        for (char16_t unit : entry.name) {
            index.push_back(static_cast<unsigned char>(unit));
            index.push_back(static_cast<unsigned char>(unit >> 8));
        }
        payload_format::put_u64_le(fields, entry.size);
        payload_format::put_u32_le(fields + 8, entry.checksum);
        index.insert(index.end(), fields, fields + sizeof fields);
    }
    payload_format::put_u32_le(index.data() + payload_index::options_offset, options);
    payload_format::put_u64_le(index.data() + payload_index::payload_bytes_offset, payload_bytes);
    payload_format::put_u64_le(index.data() + payload_index::entry_count_offset, entries.size());
    payload_format::put_u64_le(index.data() + payload_index::body_bytes_offset,
                               index.size() - payload_index::header_bytes);
    uLong crc = crc32_z(crc32(0L, Z_NULL, 0), index.data() + payload_index::checked_from,
                        index.size() - payload_index::checked_from);
    payload_format::put_u32_le(index.data() + payload_index::checksum_offset,
                               static_cast<uint32_t>(crc));
    return index;
}

} // namespace qarvel
