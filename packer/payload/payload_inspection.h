#pragma once

// list, verify and extract over a payload's bytes, all decoding through the
// launcher's own reader.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <stdexcept>
#include <string>

#include "packer/payload/entry_stream.h"

namespace qarvel {

// A fault of the payload's bytes, its message naming the entry where it lies.
struct PayloadFault : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Calls show for every entry in stream order. Throws PayloadFault when the
// stream breaks off.
void list_payload(const unsigned char* payload, uint64_t payload_bytes,
                  const std::function<void(const EntryHeader&)>& show);

struct PayloadSummary {
    size_t entries = 0;
    uint64_t content_bytes = 0;
    uint64_t stream_bytes = 0;
};

// The first fault of the payload, or an empty string when the launcher reads
// it as meant: the frame, every entry's name and checksum, the end of the
// content, the zero bytes and the trailer.
std::string first_payload_fault(const unsigned char* payload, uint64_t payload_bytes,
                                PayloadSummary* summary = nullptr);

struct ExtractSummary {
    size_t written = 0;
    size_t up_to_date = 0;
    std::u16string main_name;
};

// Writes the entries below folder as the launcher writes them below its
// target directory: a file whose CRC-32 already matches is left alone. Each
// file is written under a temporary name and takes its own name only when
// complete and its content matches its stored checksum. Throws PayloadFault
// for a damaged payload, and for names that would land outside the folder.
ExtractSummary extract_payload(const unsigned char* payload, uint64_t payload_bytes,
                               const std::filesystem::path& folder);

// Whether the file at path holds an entry's content, by the launcher's rule.
bool existing_file_is_up_to_date(const std::filesystem::path& path, uint64_t entry_size,
                                 uint32_t entry_checksum);

} // namespace qarvel
