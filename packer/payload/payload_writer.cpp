#include "packer/payload/payload_writer.h"

#include "format/payload_format.h"
#include "packer/files/temporary_file.h"
#include "packer/payload/file_checksum.h"
#include "packer/payload/thread_count.h"
#include "packer/refusal.h"

#include <fstream>
#include <memory>
#include <stdexcept>

// ZSTD_getFrameProgression is in zstd's advanced interface.
#define ZSTD_STATIC_LINKING_ONLY
#include <zstd.h>

namespace fs = std::filesystem;

namespace qarvel {
namespace {

constexpr size_t chunk_bytes = 1 << 20;

// Fixed job layout of zstd's multi-threaded mode: the frame depends on these,
// never on the number of workers, so every thread count gives the same bytes.
constexpr int job_bytes = 32 << 20;
constexpr int overlap_log = 6; // each job sees the last eighth of a window before it

struct CCtxDeleter {
    void operator()(ZSTD_CCtx* context) const { ZSTD_freeCCtx(context); }
};

void check_zstd(size_t result, const std::string& what) {
    if (ZSTD_isError(result))
        throw Refusal(what + ": " + ZSTD_getErrorName(result));
}

void set_parameter(ZSTD_CCtx* context, ZSTD_cParameter parameter, int value, const char* what) {
    check_zstd(ZSTD_CCtx_setParameter(context, parameter, value), what);
}

std::string cannot_read(const AppFile& file) {
    return "cannot read " + file.source.u8string() + " (did it change while packing?)";
}

uint32_t file_crc32(const AppFile& file, std::vector<char>& chunk) {
    std::ifstream in(file.source, std::ios::binary);
    if (!in)
        throw Refusal(cannot_read(file));
    StreamChecksum sum = checksum_stream(in, chunk, {}, file.size);
    if (sum.read_failed || sum.bytes != file.size)
        throw Refusal(cannot_read(file));
    return sum.crc32;
}

void configure(ZSTD_CCtx* context, const CompressionOptions& options, uint64_t content_bytes) {
    if (options.window_log > static_cast<int>(payload_format::max_window_log))
        throw Refusal("the window log is at most " +
                      std::to_string(payload_format::max_window_log));
    set_parameter(context, ZSTD_c_compressionLevel, options.level, "bad level");
    set_parameter(context, ZSTD_c_windowLog, options.window_log, "bad window log");
    set_parameter(context, ZSTD_c_contentSizeFlag, 1, "content size flag");
    set_parameter(context, ZSTD_c_checksumFlag, 0, "checksum flag");
    set_parameter(context, ZSTD_c_dictIDFlag, 0, "dictionary id flag");
    int workers = options.threads < 1 ? default_thread_count(options) : options.threads;
    if (ZSTD_isError(ZSTD_CCtx_setParameter(context, ZSTD_c_nbWorkers, workers))) {
        // A zstd built without threads packs on the calling thread for every
        // thread count: the output still does not depend on it.
        set_parameter(context, ZSTD_c_nbWorkers, 0, "workers");
    } else {
        set_parameter(context, ZSTD_c_jobSize, job_bytes, "job size");
        set_parameter(context, ZSTD_c_overlapLog, overlap_log, "overlap");
    }
    // The size is known before the first byte, so the frame records it and
    // the launcher's decoder sizes its memory by the content.
    check_zstd(ZSTD_CCtx_setPledgedSrcSize(context, content_bytes), "pledged size");
}

class FrameWriter {
  public:
    FrameWriter(std::ostream& out, ZSTD_CCtx* context, uint64_t total_in,
                const PackProgress& progress)
        : out_(out), context_(context), buffer_(ZSTD_CStreamOutSize()), total_in_(total_in),
          progress_(progress) {}

    void write(const void* data, size_t size, ZSTD_EndDirective mode = ZSTD_e_continue) {
        ZSTD_inBuffer input{data, size, 0};
        bool finished = false;
        while (!finished) {
            ZSTD_outBuffer output{buffer_.data(), buffer_.size(), 0};
            size_t remaining = ZSTD_compressStream2(context_, &output, &input, mode);
            check_zstd(remaining, "compression failed");
            out_.write(buffer_.data(), static_cast<std::streamsize>(output.pos));
            written_ += output.pos;
            finished = mode == ZSTD_e_end ? remaining == 0 : input.pos == input.size;
            report();
        }
    }

    uint64_t written() const { return written_; }

  private:
    // Input counts once compressed, not when handed over: the workers of the
    // threaded mode take whole jobs, and the last of them are compressed
    // while the end of the frame is being flushed, after all input is in.
    void report() {
        if (progress_)
            progress_(ZSTD_getFrameProgression(context_).consumed, total_in_, written_);
    }

    std::ostream& out_;
    ZSTD_CCtx* context_;
    std::vector<char> buffer_;
    uint64_t total_in_;
    const PackProgress& progress_;
    uint64_t written_ = 0;
};

std::vector<unsigned char> name_bytes(const std::u16string& name) {
    std::vector<unsigned char> bytes;
    for (char16_t unit : name) {
        bytes.push_back(static_cast<unsigned char>(unit & 0xFF));
        bytes.push_back(static_cast<unsigned char>(unit >> 8));
    }
    bytes.push_back(0);
    bytes.push_back(0);
    return bytes;
}

} // namespace

uint64_t entry_stream_size(const std::vector<AppFile>& files) {
    uint64_t bytes = 2; // the end marker
    for (const auto& file : files)
        bytes += (file.name.size() + 1) * 2 + 8 + 4 + file.size;
    return bytes;
}

PackResult write_payload(const std::vector<AppFile>& files, TemporaryFile& file,
                         const CompressionOptions& options, const PackProgress& progress) {
    PackResult result = write_payload(files, file.out(), file.shown_name(), options, progress);
    file.close();
    return result;
}

PackResult write_payload(const std::vector<AppFile>& files, std::ostream& out,
                         const std::string& shown_name, const CompressionOptions& options,
                         const PackProgress& progress) {
    uint64_t stream_bytes = entry_stream_size(files);
    std::unique_ptr<ZSTD_CCtx, CCtxDeleter> context(ZSTD_createCCtx());
    if (!context)
        throw Refusal("cannot create a compression context");
    configure(context.get(), options, stream_bytes);

    out.write(reinterpret_cast<const char*>(payload_format::header), payload_format::header_bytes);

    FrameWriter frame(out, context.get(), stream_bytes, progress);
    std::vector<char> chunk(chunk_bytes);
    std::vector<EntryHeader> entries;
    for (const auto& file : files) {
        uint32_t crc = file_crc32(file, chunk);
        entries.push_back({file.name, file.size, payload_format::stored_checksum(crc)});
        auto name = name_bytes(file.name);
        unsigned char fields[12];
        payload_format::put_u64_le(fields, file.size);
        payload_format::put_u32_le(fields + 8, payload_format::stored_checksum(crc));
        frame.write(name.data(), name.size());
        frame.write(fields, sizeof fields);

        // The checksum is taken before the content goes out; a file that
        // changes in between must not leave a wrong checksum behind.
        std::ifstream in(file.source, std::ios::binary);
        StreamChecksum copied = checksum_stream(
            in, chunk, [&](const unsigned char* piece, size_t size) { frame.write(piece, size); },
            file.size);
        if (copied.read_failed || copied.bytes != file.size || copied.crc32 != crc)
            throw Refusal(cannot_read(file));
    }
    const unsigned char end_marker[2] = {0, 0};
    frame.write(end_marker, sizeof end_marker, ZSTD_e_end);

    uint64_t frame_end = payload_format::header_bytes + frame.written();
    auto tail = payload_tail(frame_end);
    out.write(reinterpret_cast<const char*>(tail.data()),
              static_cast<std::streamsize>(tail.size()));
    if (!out)
        throw Refusal("cannot write " + shown_name);
    return {stream_bytes, frame_end + tail.size(), std::move(entries)};
}

std::vector<unsigned char> payload_tail(uint64_t frame_end_offset) {
    uint64_t padding = payload_format::padding_before_trailer(frame_end_offset);
    std::vector<unsigned char> tail(padding + payload_format::trailer_bytes, 0);
    payload_format::put_u64_le(tail.data() + padding, frame_end_offset + padding);
    return tail;
}

} // namespace qarvel
