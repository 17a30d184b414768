// libFuzzer entry: any bytes, taken as an attached payload and read through
// the launcher's own reader, twice. Through the entry stream, whose headers
// the launcher's own entry-header reader parses (payload/entry_header.h),
// every input must end at the end marker or in one of the launcher's
// failures. Read
// directly in sizes drawn from the input (with zero bytes after it, as in a
// launcher), every read must deliver exactly the bytes a plain decode
// gives at that point, and fail only where a plain decode has no more to
// give. Anything else (another exception, a crash, a sanitizer report, a
// leak, a hang, other bytes) is a finding.
#include "format/payload_format.h"
#include "packer/payload/entry_stream.h"
#include "packer/refusal.h"
#include "payload/content_chunk.h"
#include "payload/payload_reader.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>
#include <zstd.h>

namespace {

// A few bytes of frame can decode to gigabytes; past this much decoded
// stream the input has shown what it can, and reading stops.
constexpr size_t decoded_bytes_cap = size_t{16} << 20;

const char header_failure[] = "Error, couldn't find attached data header.";
const char decode_failure[] = "Error, couldn't decode attached data.";
const char memory_failure[] = "Error, couldn't allocate memory.";
// The host's counterpart of the name that overflows the entry-name buffer.
const std::string name_failure = "Error, an entry name is longer than " +
                                 std::to_string(payload_format::max_name_units) + " UTF-16 units.";

// Read sizes for the direct pass: nothing, small, the entry stream's own,
// and around the reader's buffer.
constexpr size_t read_sizes[] = {0,
                                 1,
                                 2,
                                 3,
                                 8,
                                 4,
                                 content_chunk_bytes,
                                 payload_output_buffer_bytes - 1,
                                 payload_output_buffer_bytes,
                                 payload_output_buffer_bytes + 1,
                                 2 * payload_output_buffer_bytes + 3};
constexpr size_t largest_read = 2 * payload_output_buffer_bytes + 3;

[[noreturn]] void finding(const char* what) {
    fprintf(stderr, "finding: %s\n", what);
    abort();
}

struct CapReached {};

// Checks each entry's shape as it passes, and stops at the cap.
class CappedVisitor : public qarvel::EntryVisitor {
  public:
    void entry_begins(const qarvel::EntryHeader& entry) override {
        count(2 * entry.name.size() + 2 + 12);
        inside_ = true;
    }
    void entry_content(const unsigned char*, size_t size) override {
        if (size == 0 || size > content_chunk_bytes)
            finding("a content chunk of an unexpected size");
        count(size);
    }
    void entry_ends(const qarvel::EntryHeader&) override {
        if (!inside_)
            finding("an entry ended that never began");
        inside_ = false;
    }

    uint64_t counted() const { return counted_; }

  private:
    void count(uint64_t bytes) {
        counted_ += bytes;
        if (counted_ > decoded_bytes_cap)
            throw CapReached{};
    }

    uint64_t counted_ = 0;
    bool inside_ = false;
};

void read_through_entry_stream(const uint8_t* data, size_t size) {
    CappedVisitor visitor;
    try {
        // Closes the process-wide reader however the reading ends, so the
        // next reading starts from a closed reader.
        qarvel::PayloadReading reading(data, size);
        uint64_t stream_bytes = qarvel::read_entry_stream(visitor);
        // Everything the visitor saw, and the 2-byte end marker.
        if (stream_bytes != visitor.counted() + 2)
            finding("the entry stream's byte count disagrees with its entries");
    } catch (const CapReached&) {
    } catch (const qarvel::Refusal& error) {
        const char* message = error.what();
        if (strcmp(message, header_failure) != 0 && strcmp(message, decode_failure) != 0 &&
            strcmp(message, memory_failure) != 0 && message != name_failure) {
            fprintf(stderr, "unexpected failure message: %s\n", message);
            abort();
        }
    }
    // Any other exception escapes and libFuzzer reports it as a crash.
}

// What a plain loop of decode calls over the bytes after the header gives,
// up to limit bytes: fewer when the frame data ends or breaks first. Each
// call gets an empty window of the reader's buffer size, as in the reader:
// for broken frames the decoder's output depends on that size.
std::vector<unsigned char> plain_decode(const uint8_t* data, size_t size, size_t limit) {
    std::vector<unsigned char> out;
    if (size < payload_format::header_bytes)
        return out;
    // A fresh context, as the reader's: on broken frames what a context
    // puts out before the error depends on the buffers it already holds.
    ZSTD_DCtx* context = ZSTD_createDCtx();
    ZSTD_inBuffer input{data + payload_format::header_bytes, size - payload_format::header_bytes,
                        0};
    // Kept between inputs, as the read buffer below, to save an allocation.
    static std::vector<unsigned char> window(payload_output_buffer_bytes);
    while (out.size() < limit) {
        ZSTD_outBuffer output{window.data(), window.size(), 0};
        size_t consumed = input.pos;
        bool failed = ZSTD_isError(ZSTD_decompressStream(context, &output, &input));
        out.insert(out.end(), window.data(), window.data() + output.pos);
        if (failed || (input.pos == consumed && output.pos == 0))
            break;
    }
    ZSTD_freeDCtx(context);
    return out;
}

void read_directly(const uint8_t* input, size_t input_size) {
    // Laid out as in a launcher: at least one zero byte and the trailer
    // follow the frame, so input never runs out while the decoder still
    // holds bytes of a frame that ended with the input.
    std::vector<uint8_t> payload(input, input + input_size);
    payload.resize(input_size + 1 + payload_format::trailer_bytes, 0);
    const uint8_t* data = payload.data();
    size_t size = payload.size();
    bool header_present = size >= payload_format::header_bytes &&
                          memcmp(data, payload_format::header, payload_format::header_bytes) == 0;
    std::vector<unsigned char> expected =
        header_present ? plain_decode(data, size, decoded_bytes_cap + largest_read)
                       : std::vector<unsigned char>();
    // The read sizes follow from the input, so the fuzzer steers them too.
    uint64_t state = 0xcbf29ce484222325ull;
    for (size_t i = 0; i < size && i < 64; ++i)
        state = (state ^ data[size - 1 - i]) * 0x100000001b3ull;

    static std::vector<unsigned char> buffer(largest_read);
    size_t delivered = 0;
    try {
        qarvel::PayloadReading reading(data, size);
        if (!header_present)
            finding("the reader opened a payload without its header");
        while (delivered < decoded_bytes_cap) {
            state = state * 6364136223846793005ull + 1442695040888963407ull;
            size_t request = read_sizes[(state >> 33) % (sizeof read_sizes / sizeof *read_sizes)];
            uint64_t calls = payload_decode_calls();
            try {
                read_payload(buffer.data(), request);
            } catch (const qarvel::Refusal& error) {
                if (strcmp(error.what(), decode_failure) != 0)
                    finding("a read failed with another message than the decode failure");
                if (expected.size() >= delivered + request)
                    finding("a read failed where a plain decode has the bytes");
                return;
            }
            if (request == 0 && payload_decode_calls() != calls)
                finding("a read of nothing decoded");
            if (expected.size() < delivered + request)
                finding("a read delivered bytes a plain decode does not have");
            if (request > 0 && memcmp(buffer.data(), expected.data() + delivered, request) != 0)
                finding("a read delivered other bytes than a plain decode");
            delivered += request;
        }
    } catch (const qarvel::Refusal& error) {
        if (header_present || strcmp(error.what(), header_failure) != 0)
            finding("opening failed otherwise than on a missing header");
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    read_through_entry_stream(data, size);
    read_directly(data, size);
    return 0;
}
