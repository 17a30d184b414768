#include "payload/payload_reader.h"

#include "format/payload_format.h"
#include "launcher/failure.h"

#include <cstdlib>
#include <cstring>
#include <zstd.h>

static ZSTD_DCtx* decompression_context;
static ZSTD_inBuffer input_window;
// Between decode calls: size = valid decoded bytes, pos = bytes handed out.
static ZSTD_outBuffer output_window;
uint64_t payload_decode_calls_made;

void open_payload_reader_over(const unsigned char* payload, uint64_t payload_bytes) {
    if (payload_bytes < payload_format::header_bytes ||
        memcmp(payload, payload_format::header, payload_format::header_bytes) != 0)
        fail_plain("Error, couldn't find attached data header.");

    // Kept in the reader's state at once, so that a host tool that survives a
    // failure can still close the reader and free what it holds.
    output_window = {malloc(payload_output_buffer_bytes), 0, 0};
    if (output_window.dst == nullptr)
        fail_plain("Error, couldn't allocate memory.");
    decompression_context = ZSTD_createDCtx();
    if (decompression_context == nullptr)
        fail_plain("Error, couldn't allocate memory.");

    input_window = {payload + payload_format::header_bytes,
                    static_cast<size_t>(payload_bytes - payload_format::header_bytes), 0};
    payload_decode_calls_made = 0;
}

void read_payload(void* destination, uint64_t count) {
    auto* out = static_cast<unsigned char*>(destination);
    // Set while this request's last decode call filled the whole buffer: the
    // decoder may then hold more bytes even with no input left.
    bool filled = false;
    while (count > 0) {
        size_t available = output_window.size - output_window.pos;
        if (available > 0) {
            size_t n = count < available ? static_cast<size_t>(count) : available;
            memcpy(out, static_cast<unsigned char*>(output_window.dst) + output_window.pos, n);
            output_window.pos += n;
            out += n;
            count -= n;
            continue;
        }
        if (input_window.pos >= input_window.size && !filled) {
            // Bytes are still wanted but the decoder has nothing more to give.
            fail_plain("Error, couldn't decode attached data.");
        }
        output_window.pos = 0;
        output_window.size = payload_output_buffer_bytes;
        size_t result = ZSTD_decompressStream(decompression_context, &output_window, &input_window);
        ++payload_decode_calls_made;
        filled = output_window.pos == payload_output_buffer_bytes;
        if (ZSTD_isError(result))
            fail_plain("Error, couldn't decode attached data.");
        output_window.size = output_window.pos;
        output_window.pos = 0;
    }
}

void close_payload_reader() {
    ZSTD_freeDCtx(decompression_context);
    decompression_context = nullptr;
    free(output_window.dst);
    output_window = {nullptr, 0, 0};
}
