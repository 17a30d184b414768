#include "packer/entry_stream.h"

#include "packer/payload_failure.h"
#include "payload/payload_format.h"
#include "payload/payload_reader.h"

namespace qarvel {

uint64_t read_entry_stream(EntryVisitor& visitor) {
    uint64_t stream_bytes = 0;
    unsigned char chunk[entry_content_chunk_bytes];
    EntryHeader entry;
    while (true) {
        entry.name.clear();
        while (true) {
            unsigned char unit_bytes[2];
            read_payload(unit_bytes, 2);
            stream_bytes += 2;
            auto unit = static_cast<char16_t>(unit_bytes[0] | unit_bytes[1] << 8);
            if (unit == 0)
                break;
            if (entry.name.size() == payload_format::max_name_units)
                throw PayloadError("Error, an entry name is longer than " +
                                   std::to_string(payload_format::max_name_units) +
                                   " UTF-16 units.");
            entry.name.push_back(unit);
        }
        if (entry.name.empty())
            return stream_bytes;

        unsigned char fields[12];
        read_payload(fields, 8);
        read_payload(fields + 8, 4);
        stream_bytes += 12;
        entry.size = payload_format::get_u64_le(fields);
        entry.checksum = payload_format::get_u32_le(fields + 8);
        visitor.entry_begins(entry);
        for (uint64_t remaining = entry.size; remaining > 0;) {
            size_t count = remaining < sizeof chunk ? static_cast<size_t>(remaining) : sizeof chunk;
            read_payload(chunk, count);
            visitor.entry_content(chunk, count);
            remaining -= count;
            stream_bytes += count;
        }
        visitor.entry_ends(entry);
    }
}

PayloadReading::PayloadReading(const unsigned char* payload, uint64_t payload_bytes) {
    try {
        open_payload_reader_over(payload, payload_bytes);
    } catch (...) {
        close_payload_reader();
        throw;
    }
}

PayloadReading::~PayloadReading() {
    close_payload_reader();
}

} // namespace qarvel
