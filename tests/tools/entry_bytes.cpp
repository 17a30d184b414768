#include "entry_bytes.h"

#include "format/payload_format.h"

#include <zlib.h>

namespace qarvel_test {

uint32_t crc32_of(const Bytes& content) {
    return static_cast<uint32_t>(crc32_z(0, content.data(), content.size()));
}

uint32_t checksum_of(const Bytes& content) {
    return payload_format::stored_checksum(crc32_of(content));
}

size_t append_entry_header(Bytes& stream, const std::u16string& name, uint64_t size,
                           uint32_t checksum) {
    for (char16_t unit : name) {
        stream.push_back(static_cast<unsigned char>(unit & 0xFF));
        stream.push_back(static_cast<unsigned char>(unit >> 8));
    }
    stream.push_back(0);
    stream.push_back(0);
    const size_t fields_at = stream.size();
    unsigned char fields[12];
    payload_format::put_u64_le(fields, size);
    payload_format::put_u32_le(fields + 8, checksum);
    stream.insert(stream.end(), fields, fields + sizeof fields);
    return fields_at;
}

void append_entry(Bytes& stream, const std::u16string& name, const Bytes& content,
                  uint32_t checksum) {
    append_entry_header(stream, name, content.size(), checksum);
    stream.insert(stream.end(), content.begin(), content.end());
}

void append_end_marker(Bytes& stream) {
    stream.push_back(0);
    stream.push_back(0);
}

} // namespace qarvel_test
