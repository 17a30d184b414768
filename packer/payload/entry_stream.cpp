#include "packer/payload/entry_stream.h"

#include "format/payload_format.h"
#include "packer/refusal.h"
#include "payload/entry_header.h"
#include "payload/payload_reader.h"

namespace qarvel {

namespace {

// A reader's fault, as it is or, given a subject, named with its place.
class ReaderFaults {
  public:
    ReaderFaults(const std::string* subject, const StreamPosition* position)
        : subject_(subject), position_(position) {}
    [[noreturn]] void refuse(const std::string& fault) const {
        if (subject_ == nullptr)
            throw Refusal(fault);
        throw Refusal(*subject_, position_->here() + ": " + fault);
    }
    template <typename Read> auto read(Read read) const {
        if (subject_ == nullptr)
            return read();
        try {
            return read();
        } catch (const Refusal& fault) {
            refuse(fault.what());
        }
    }

  private:
    const std::string* subject_;
    const StreamPosition* position_;
};

uint64_t read_entries(EntryVisitor& visitor, ReaderFaults& faults) {
    uint64_t stream_bytes = 0;
    unsigned char chunk[content_chunk_bytes];
    char16_t name[payload_format::name_capacity_units];
    EntryFields fields;
    EntryHeader entry;
    while (true) {
        switch (faults.read([&] { return read_entry_header(name, &fields); })) {
        case EntryHeaderRead::name_too_long:
            faults.refuse("Error, an entry name is longer than " +
                          std::to_string(payload_format::max_name_units) + " UTF-16 units.");
        case EntryHeaderRead::end_marker:
            return stream_bytes + 2;
        case EntryHeaderRead::entry:
            break;
        }
        entry.name = name;
        entry.size = fields.size;
        entry.checksum = fields.checksum;
        stream_bytes += 2 * (entry.name.size() + 1) + 12;
        visitor.entry_begins(entry);
        if (!visitor.wants_more())
            return stream_bytes;
        for (uint64_t remaining = entry.size; remaining > 0;) {
            size_t count = remaining < sizeof chunk ? static_cast<size_t>(remaining) : sizeof chunk;
            faults.read([&] { read_payload(chunk, count); });
            visitor.entry_content(chunk, count);
            remaining -= count;
            stream_bytes += count;
            if (!visitor.wants_more())
                return stream_bytes;
        }
        visitor.entry_ends(entry);
        if (!visitor.wants_more())
            return stream_bytes;
    }
}

} // namespace

uint64_t read_entry_stream(EntryVisitor& visitor) {
    ReaderFaults faults(nullptr, nullptr);
    return read_entries(visitor, faults);
}

uint64_t read_entry_stream(EntryVisitor& visitor, const std::string& subject,
                           const StreamPosition& position) {
    ReaderFaults faults(&subject, &position);
    return read_entries(visitor, faults);
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
