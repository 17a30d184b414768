#include "packer/payload_writer.h"

#include "payload/payload_format.h"

#include <fstream>
#include <memory>
#include <stdexcept>
#include <zlib.h>
#include <zstd.h>

namespace qarvel {
namespace {

constexpr size_t chunk_bytes = 1 << 20;

struct CCtxDeleter {
    void operator()(ZSTD_CCtx* context) const { ZSTD_freeCCtx(context); }
};

void check_zstd(size_t result, const char* what) {
    if (ZSTD_isError(result))
        throw std::runtime_error(std::string(what) + ": " + ZSTD_getErrorName(result));
}

uint32_t file_crc32(const AppFile& file, std::vector<char>& chunk) {
    std::ifstream in(file.source, std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot read " + file.source.string());
    uLong crc = crc32(0L, Z_NULL, 0);
    uint64_t total = 0;
    while (in) {
        in.read(chunk.data(), static_cast<std::streamsize>(chunk.size()));
        auto got = static_cast<size_t>(in.gcount());
        crc = crc32(crc, reinterpret_cast<const Bytef*>(chunk.data()), static_cast<uInt>(got));
        total += got;
    }
    if (in.bad() || total != file.size)
        throw std::runtime_error("cannot read " + file.source.string() + " (did it change while packing?)");
    return static_cast<uint32_t>(crc);
}

class FrameWriter {
  public:
    FrameWriter(std::ofstream& out, ZSTD_CCtx* context) : out_(out), context_(context), buffer_(ZSTD_CStreamOutSize()) {}

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
        }
    }

    uint64_t written() const { return written_; }

  private:
    std::ofstream& out_;
    ZSTD_CCtx* context_;
    std::vector<char> buffer_;
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

PackResult write_payload(const std::vector<AppFile>& files, const std::filesystem::path& output,
                         const CompressionOptions& options) {
    uint64_t stream_bytes = 2; // the end marker
    for (const auto& file : files)
        stream_bytes += (file.name.size() + 1) * 2 + 8 + 4 + file.size;

    std::unique_ptr<ZSTD_CCtx, CCtxDeleter> context(ZSTD_createCCtx());
    if (!context)
        throw std::runtime_error("cannot create a compression context");
    check_zstd(ZSTD_CCtx_setParameter(context.get(), ZSTD_c_compressionLevel, options.level), "bad level");
    if (options.window_log != 0)
        check_zstd(ZSTD_CCtx_setParameter(context.get(), ZSTD_c_windowLog, options.window_log), "bad window log");
    check_zstd(ZSTD_CCtx_setParameter(context.get(), ZSTD_c_contentSizeFlag, 1), "content size flag");
    check_zstd(ZSTD_CCtx_setParameter(context.get(), ZSTD_c_checksumFlag, 0), "checksum flag");
    if (options.threads > 0)
        check_zstd(ZSTD_CCtx_setParameter(context.get(), ZSTD_c_nbWorkers, options.threads),
                   "this zstd has no multi-threading");
    // The size is known before the first byte, so the frame records it and
    // the launcher's decoder sizes its window by the content.
    check_zstd(ZSTD_CCtx_setPledgedSrcSize(context.get(), stream_bytes), "pledged size");

    std::ofstream out(output, std::ios::binary | std::ios::trunc);
    if (!out)
        throw std::runtime_error("cannot write " + output.string());
    out.write(reinterpret_cast<const char*>(payload_format::header), payload_format::header_bytes);

    FrameWriter frame(out, context.get());
    std::vector<char> chunk(chunk_bytes);
    for (const auto& file : files) {
        uint32_t crc = file_crc32(file, chunk);
        auto name = name_bytes(file.name);
        unsigned char fields[12];
        payload_format::put_u64_le(fields, file.size);
        payload_format::put_u32_le(fields + 8, payload_format::stored_checksum(crc));
        frame.write(name.data(), name.size());
        frame.write(fields, sizeof fields);

        std::ifstream in(file.source, std::ios::binary);
        uint64_t copied = 0;
        while (in && copied < file.size) {
            in.read(chunk.data(), static_cast<std::streamsize>(chunk.size()));
            auto got = static_cast<size_t>(in.gcount());
            frame.write(chunk.data(), got);
            copied += got;
        }
        if (copied != file.size)
            throw std::runtime_error("cannot read " + file.source.string() + " (did it change while packing?)");
    }
    const unsigned char end_marker[2] = {0, 0};
    frame.write(end_marker, sizeof end_marker, ZSTD_e_end);

    uint64_t frame_end = payload_format::header_bytes + frame.written();
    uint64_t padding = payload_format::padding_before_trailer(frame_end);
    const char zeros[payload_format::trailer_alignment] = {};
    out.write(zeros, static_cast<std::streamsize>(padding));
    unsigned char trailer[payload_format::trailer_bytes];
    payload_format::put_u64_le(trailer, frame_end + padding);
    out.write(reinterpret_cast<const char*>(trailer), sizeof trailer);
    out.close();
    if (!out)
        throw std::runtime_error("cannot write " + output.string());
    return {stream_bytes, frame_end + padding + payload_format::trailer_bytes};
}

} // namespace qarvel
