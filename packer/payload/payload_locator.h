#pragma once

#include "packer/files/mapped_file.h"
#include "packer/refusal.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace qarvel {

// Where a payload lies in a file's bytes.
struct PayloadLocation {
    size_t offset = 0;
    size_t size = 0;
};

// A file that starts with the payload header is taken whole, whatever
// follows; a launcher's payload is its payload section, found as the
// launcher finds it. Any other file holds none: throws Refusal.
PayloadLocation locate_payload(const unsigned char* file, size_t file_bytes,
                               const std::string& file_name);

// A payload file, or a launcher, mapped whole, and where its payload lies
// in it. Throws Refusal as locate_payload does, or when the file
// cannot be read.
struct LoadedPayload {
    explicit LoadedPayload(const std::string& file_name);
    const unsigned char* data() const { return file.data() + location.offset; }

    MappedFile file;
    PayloadLocation location;
};

std::vector<unsigned char> read_whole_file(const std::filesystem::path& path);

// Where the frame that starts at payload offset 3 ends, as a payload offset;
// 0 when the bytes do not hold a complete frame.
uint64_t frame_end_offset(const unsigned char* payload, uint64_t payload_bytes);

} // namespace qarvel
