#include "packer/payload_locator.h"

#include "payload/payload_format.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <zstd.h>

namespace qarvel {
namespace {

constexpr unsigned char frame_magic[4] = {0x28, 0xB5, 0x2F, 0xFD};

// Past the frame, zero bytes up to an 8-aligned trailer that holds its own
// offset. Returns the payload's size, or 0.
uint64_t payload_size_at(const unsigned char* start, uint64_t bytes_left) {
    uint64_t offset = frame_end_offset(start, bytes_left);
    if (offset == 0)
        return 0;
    for (; offset + payload_format::trailer_bytes <= bytes_left; ++offset) {
        if (offset % payload_format::trailer_alignment == 0 &&
            payload_format::get_u64_le(start + offset) == offset)
            return offset + payload_format::trailer_bytes;
        if (start[offset] != 0)
            return 0;
    }
    return 0;
}

} // namespace

uint64_t frame_end_offset(const unsigned char* payload, uint64_t payload_bytes) {
    if (payload_bytes <= payload_format::header_bytes)
        return 0;
    size_t frame = ZSTD_findFrameCompressedSize(payload + payload_format::header_bytes,
                                                payload_bytes - payload_format::header_bytes);
    return ZSTD_isError(frame) ? 0 : payload_format::header_bytes + frame;
}

PayloadLocation locate_payload(const std::vector<unsigned char>& file,
                               const std::string& file_name) {
    const unsigned char* header = payload_format::header;
    if (file.size() >= payload_format::header_bytes &&
        std::equal(header, header + payload_format::header_bytes, file.begin()))
        return {0, file.size()};

    unsigned char signature[payload_format::header_bytes + sizeof frame_magic];
    std::memcpy(signature, header, payload_format::header_bytes);
    std::memcpy(signature + payload_format::header_bytes, frame_magic, sizeof frame_magic);
    bool header_seen = false;
    size_t first_header = 0;
    for (auto it = file.begin();;) {
        it = std::search(it, file.end(), std::begin(signature), std::end(signature));
        if (it == file.end())
            break;
        size_t offset = static_cast<size_t>(it - file.begin());
        if (!header_seen)
            first_header = offset;
        header_seen = true;
        uint64_t size = payload_size_at(file.data() + offset, file.size() - offset);
        if (size != 0)
            return {offset, static_cast<size_t>(size)};
        ++it;
    }
    if (header_seen)
        throw std::runtime_error(file_name + " has a payload header at offset " +
                                 std::to_string(first_header) +
                                 ", but no complete zstd frame and trailer follow it");
    throw std::runtime_error(file_name + " holds no payload: neither does it start with \"ZOQ\" "
                                         "nor does it carry a payload with its trailer");
}

std::vector<unsigned char> read_whole_file(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot read " + path.string());
    std::error_code error;
    auto size = std::filesystem::file_size(path, error);
    if (error)
        throw std::runtime_error("cannot read " + path.string() + ": " + error.message());
    std::vector<unsigned char> bytes(static_cast<size_t>(size));
    in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(size));
    if (static_cast<uint64_t>(in.gcount()) != size)
        throw std::runtime_error("cannot read " + path.string());
    return bytes;
}

} // namespace qarvel
