// libFuzzer entry: any bytes, taken as an attached payload and read through
// the launcher's own reader and entry stream. Every input must end at the
// end marker or in one of the launcher's failures; anything else (another
// exception, a crash, a sanitizer report, a leak, a hang) is a finding.
#include "packer/entry_stream.h"
#include "packer/payload_failure.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// A few bytes of frame can decode to gigabytes; past this much decoded
// stream the input has shown what it can, and reading stops.
constexpr uint64_t decoded_bytes_cap = uint64_t{32} << 20;

// The launcher's fatal messages for a payload (the reader's, and the name
// that overflows the entry-name buffer).
const char* const launcher_failures[] = {
    "Error, couldn't find attached data header.",
    "Error, couldn't decode attached data.",
    "Error, couldn't allocate memory.",
    "Error, an entry name is longer than 1023 UTF-16 units.",
};

struct CapReached {};

class CappedVisitor : public qarvel::EntryVisitor {
  public:
    void entry_begins(const qarvel::EntryHeader& entry) override {
        // Name, its terminator, size and checksum.
        count(2 * entry.name.size() + 2 + 12);
        inside_ = true;
    }
    void entry_content(const unsigned char* bytes, size_t size) override {
        if (size == 0 || size > qarvel::entry_content_chunk_bytes)
            finding("a content chunk of an unexpected size");
        // Touch the bytes, so a chunk the reader failed to fill is noticed.
        checksum_ += bytes[0] + bytes[size - 1];
        count(size);
    }
    void entry_ends(const qarvel::EntryHeader&) override {
        if (!inside_)
            finding("an entry ended that never began");
        inside_ = false;
    }

    uint64_t counted() const { return counted_; }

    [[noreturn]] static void finding(const char* what) {
        fprintf(stderr, "finding: %s\n", what);
        abort();
    }

  private:
    void count(uint64_t bytes) {
        counted_ += bytes;
        if (counted_ > decoded_bytes_cap)
            throw CapReached{};
    }

    uint64_t counted_ = 0;
    unsigned checksum_ = 0;
    bool inside_ = false;
};

bool is_launcher_failure(const char* message) {
    for (const char* known : launcher_failures)
        if (strcmp(message, known) == 0)
            return true;
    return false;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    CappedVisitor visitor;
    try {
        // Closes the process-wide reader however the reading ends, so the
        // next input starts from a closed reader.
        qarvel::PayloadReading reading(data, size);
        uint64_t stream_bytes = qarvel::read_entry_stream(visitor);
        // Everything the visitor saw, and the 2-byte end marker.
        if (stream_bytes != visitor.counted() + 2)
            CappedVisitor::finding("the entry stream's byte count disagrees with its entries");
    } catch (const CapReached&) {
    } catch (const qarvel::PayloadError& error) {
        if (!is_launcher_failure(error.what())) {
            fprintf(stderr, "unexpected failure message: %s\n", error.what());
            abort();
        }
    }
    // Any other exception escapes and libFuzzer reports it as a crash.
    return 0;
}
