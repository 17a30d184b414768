// payload-forge: makes payloads for the tests, well-formed or broken in one
// chosen way, byte for byte.
#include "packer/app_folder.h"
#include "payload/payload_format.h"

#include <CLI/CLI.hpp>
#include <fstream>
#include <iterator>
#include <sstream>
#include <zlib.h>
#include <zstd.h>

namespace {

using Bytes = std::vector<unsigned char>;

Bytes hex_bytes(const std::string& hex) {
    Bytes out;
    for (size_t i = 0; i + 1 < hex.size(); i += 2)
        out.push_back(static_cast<unsigned char>(std::stoul(hex.substr(i, 2), nullptr, 16)));
    return out;
}

Bytes read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot read " + path);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

void append_u16_name(Bytes& stream, const std::u16string& name) {
    for (char16_t unit : name) {
        stream.push_back(static_cast<unsigned char>(unit & 0xFF));
        stream.push_back(static_cast<unsigned char>(unit >> 8));
    }
    stream.push_back(0);
    stream.push_back(0);
}

} // namespace

int main(int argc, char** argv) {
    CLI::App app{"payload-forge: payloads for the launcher's tests"};
    std::string output, header = "ZOQ", raw_frame_header;
    std::vector<std::string> entries;
    long long claim_size = -1, truncate = -1;
    std::string checksum_override;
    size_t long_name_units = 0;
    bool no_end_marker = false, plain_crc = false;
    int window_log = 0;
    app.add_option("-o,--output", output, "payload file to write")->required();
    app.add_option("--entry", entries, "NAME=TEXT, or NAME=@FILE for a file's bytes; in stream order");
    app.add_option("--long-name", long_name_units, "add an entry whose name is this many units long");
    app.add_option("--claim-size", claim_size, "size field of the last entry, whatever its content");
    app.add_option("--checksum", checksum_override, "checksum field of the last entry, in hex");
    app.add_flag("--plain-crc", plain_crc, "store a CRC-32 of 0 as 0");
    app.add_flag("--no-end-marker", no_end_marker, "leave out the end marker");
    app.add_option("--header", header, "the three header bytes");
    app.add_option("--window-log", window_log, "zstd window log");
    app.add_option("--raw-frame-header", raw_frame_header,
                   "hex frame header (magic included); the stream follows in raw blocks");
    app.add_option("--truncate", truncate, "cut the payload to this many bytes");
    CLI11_PARSE(app, argc, argv);

    try {
        Bytes stream;
        size_t last_fields = 0;
        auto add_entry = [&](const std::u16string& name, const Bytes& content) {
            append_u16_name(stream, name);
            last_fields = stream.size();
            uint32_t crc = static_cast<uint32_t>(crc32(0L, content.data(), static_cast<uInt>(content.size())));
            unsigned char fields[12];
            payload_format::put_u64_le(fields, content.size());
            payload_format::put_u32_le(fields + 8, plain_crc ? crc : payload_format::stored_checksum(crc));
            stream.insert(stream.end(), fields, fields + 12);
            stream.insert(stream.end(), content.begin(), content.end());
        };
        for (const auto& entry : entries) {
            auto equals = entry.find('=');
            if (equals == std::string::npos)
                throw std::runtime_error("--entry needs NAME=CONTENT: " + entry);
            std::string value = entry.substr(equals + 1);
            Bytes content = !value.empty() && value[0] == '@' ? read_file(value.substr(1)) : Bytes(value.begin(), value.end());
            add_entry(qarvel::utf8_to_utf16(entry.substr(0, equals)), content);
        }
        if (long_name_units > 0)
            add_entry(std::u16string(long_name_units, u'a'), Bytes{'x'});
        if (claim_size >= 0)
            payload_format::put_u64_le(&stream[last_fields], static_cast<uint64_t>(claim_size));
        if (!checksum_override.empty())
            payload_format::put_u32_le(&stream[last_fields + 8],
                                       static_cast<uint32_t>(std::stoul(checksum_override, nullptr, 16)));
        if (!no_end_marker) {
            stream.push_back(0);
            stream.push_back(0);
        }

        Bytes frame;
        if (!raw_frame_header.empty()) {
            frame = hex_bytes(raw_frame_header);
            size_t at = 0;
            do {
                size_t block = std::min<size_t>(stream.size() - at, 1 << 17);
                bool last = at + block == stream.size();
                uint32_t block_header = static_cast<uint32_t>(block << 3) | (last ? 1u : 0u);
                frame.push_back(static_cast<unsigned char>(block_header));
                frame.push_back(static_cast<unsigned char>(block_header >> 8));
                frame.push_back(static_cast<unsigned char>(block_header >> 16));
                frame.insert(frame.end(), stream.begin() + static_cast<long>(at), stream.begin() + static_cast<long>(at + block));
                at += block;
            } while (at < stream.size());
        } else {
            ZSTD_CCtx* context = ZSTD_createCCtx();
            ZSTD_CCtx_setParameter(context, ZSTD_c_compressionLevel, 3);
            if (window_log != 0)
                ZSTD_CCtx_setParameter(context, ZSTD_c_windowLog, window_log);
            frame.resize(ZSTD_compressBound(stream.size()));
            size_t frame_bytes = ZSTD_compress2(context, frame.data(), frame.size(), stream.data(), stream.size());
            ZSTD_freeCCtx(context);
            if (ZSTD_isError(frame_bytes))
                throw std::runtime_error(ZSTD_getErrorName(frame_bytes));
            frame.resize(frame_bytes);
        }

        if (header.size() != 3)
            throw std::runtime_error("--header needs three bytes");
        Bytes payload(header.begin(), header.end());
        payload.insert(payload.end(), frame.begin(), frame.end());
        payload.resize(payload.size() + payload_format::padding_before_trailer(payload.size()), 0);
        unsigned char trailer[8];
        payload_format::put_u64_le(trailer, payload.size());
        payload.insert(payload.end(), trailer, trailer + 8);
        if (truncate >= 0 && static_cast<size_t>(truncate) < payload.size())
            payload.resize(static_cast<size_t>(truncate));

        std::ofstream out(output, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(payload.data()), static_cast<std::streamsize>(payload.size()));
        if (!out)
            throw std::runtime_error("cannot write " + output);
    } catch (const std::exception& error) {
        fprintf(stderr, "payload-forge: %s\n", error.what());
        return 1;
    }
    return 0;
}
