#pragma once

// The entry stream read back through the launcher's own payload reader and
// entry-header reader (payload/entry_header.h), in the launcher's own read
// sizes: one unit per name read, then the size, the checksum, and the
// content in chunks. Memory stays bounded whatever the bytes claim, so any
// input can be fed to it.

#include "format/payload_format.h"
#include "payload/content_chunk.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace qarvel {

struct EntryHeader {
    std::u16string name;
    uint64_t size = 0;
    uint32_t checksum = 0;
};

class EntryVisitor {
  public:
    virtual ~EntryVisitor() = default;
    virtual void entry_begins(const EntryHeader& entry) = 0;
    // The entry's content, in stream order, in chunks of at most
    // content_chunk_bytes; nothing for an empty entry.
    virtual void entry_content(const unsigned char* bytes, size_t size) = 0;
    virtual void entry_ends(const EntryHeader& entry) = 0;
    // Asked after every call above: false ends the reading there.
    virtual bool wants_more() const { return true; }
};

// Says where in the stream a reading stands, for a fault found there.
class StreamPosition {
  public:
    virtual ~StreamPosition() = default;
    virtual std::string here() const = 0;
};

// Reads entries from the open payload reader up to and including the end
// marker. The reader's faults, and a name longer than the launcher's name
// buffer, throw a Refusal: with the reader's own message, or, given a
// subject, as a fault of that file's payload that says where it lies. What
// the visitor throws passes unchanged. Returns the entry-stream bytes read,
// up to where the visitor stopped wanting more.
uint64_t read_entry_stream(EntryVisitor& visitor);
uint64_t read_entry_stream(EntryVisitor& visitor, const std::string& subject,
                           const StreamPosition& position);

// Opens the launcher's reader over a payload's bytes and closes it however
// the reading ends. The reader is process-wide: one session at a time.
class PayloadReading {
  public:
    PayloadReading(const unsigned char* payload, uint64_t payload_bytes);
    ~PayloadReading();
    PayloadReading(const PayloadReading&) = delete;
    PayloadReading& operator=(const PayloadReading&) = delete;
};

} // namespace qarvel
