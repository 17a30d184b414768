#include "packer/payload/payload_locator.h"

#include "format/image_layout.h"
#include "format/payload_format.h"
#include "packer/files/host_files.h"
#include "packer/image/pe_reader.h"
#include "packer/refusal.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <stdexcept>
#include <zstd.h>

namespace qarvel {
namespace {

// A launcher's payload section, found through its section table as the
// launcher finds it; its virtual size is the payload's length.
bool payload_section(const unsigned char* file, size_t file_bytes, PayloadLocation& location) {
    const PeHeaders headers = read_pe_headers(file, file_bytes);
    if (headers.shape != PeShape::windows_image)
        return false;
    for (const auto& section : headers.sections) {
        if (std::memcmp(section.name, image_layout::payload_section_name, sizeof section.name) != 0)
            continue;
        uint64_t size = std::min(section.virtual_size, section.size_of_raw_data);
        if (uint64_t{section.pointer_to_raw_data} + size > file_bytes)
            return false;
        location = {section.pointer_to_raw_data, static_cast<size_t>(size)};
        return true;
    }
    return false;
}

} // namespace

uint64_t frame_end_offset(const unsigned char* payload, uint64_t payload_bytes) {
    if (payload_bytes <= payload_format::header_bytes)
        return 0;
    size_t frame = ZSTD_findFrameCompressedSize(payload + payload_format::header_bytes,
                                                payload_bytes - payload_format::header_bytes);
    return ZSTD_isError(frame) ? 0 : payload_format::header_bytes + frame;
}

PayloadLocation locate_payload(const unsigned char* file, size_t file_bytes,
                               const std::string& file_name) {
    const unsigned char* header = payload_format::header;
    if (file_bytes >= payload_format::header_bytes &&
        std::equal(header, header + payload_format::header_bytes, file))
        return {0, file_bytes};
    PayloadLocation section;
    if (payload_section(file, file_bytes, section))
        return section;
    throw Refusal(file_name + " holds no payload: it neither starts with \"ZOQ\" nor "
                              "is a launcher with a payload section");
}

LoadedPayload::LoadedPayload(const std::string& file_name)
    : file(utf8_path(file_name)), location(locate_payload(file.data(), file.size(), file_name)) {}

std::vector<unsigned char> read_whole_file(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw Refusal("cannot read " + path.u8string());
    std::error_code error;
    auto size = std::filesystem::file_size(path, error);
    if (error)
        throw Refusal("cannot read " + path.u8string() + ": " + error.message());
    std::vector<unsigned char> bytes(static_cast<size_t>(size));
    in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(size));
    if (static_cast<uint64_t>(in.gcount()) != size)
        throw Refusal("cannot read " + path.u8string());
    return bytes;
}

} // namespace qarvel
