#pragma once

// list, verify and extract over a payload's bytes, all decoding through the
// launcher's own reader.

#include "packer/payload/entry_stream.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace qarvel {

// A fault of a payload's own bytes is a Refusal whose subject is the file
// that holds it (file, as the user named it), its line naming the entry
// where it lies.

// Calls show for every entry in stream order. Throws when the stream breaks
// off.
void list_payload(const unsigned char* payload, uint64_t payload_bytes, const std::string& file,
                  const std::function<void(const EntryHeader&)>& show);

struct PayloadSummary {
    size_t entries = 0;
    uint64_t content_bytes = 0;
    uint64_t stream_bytes = 0;
    // Every entry's header, in stream order: what a launcher's index lists.
    std::vector<EntryHeader> headers;
};

// Throws the first fault of the payload, unless the launcher reads it as
// meant: the frame, every entry's name and checksum, the end of the content,
// the zero bytes and the trailer.
PayloadSummary verify_payload(const unsigned char* payload, uint64_t payload_bytes,
                              const std::string& file);

struct ExtractSummary {
    size_t written = 0;
    size_t up_to_date = 0;
    std::u16string main_name;
};

// Writes the entries below folder as the launcher writes them below its
// target directory: a file whose CRC-32 already matches is left alone. Each
// file is written under a temporary name and takes its own name only when
// complete and its content matches its stored checksum. Throws for a damaged
// payload, for names that would land outside the folder, and with subject
// "error" for files it cannot write.
ExtractSummary extract_payload(const unsigned char* payload, uint64_t payload_bytes,
                               const std::string& file, const std::filesystem::path& folder);

// Whether the file at path holds an entry's content, by the launcher's rule.
bool existing_file_is_up_to_date(const std::filesystem::path& path, uint64_t entry_size,
                                 uint32_t entry_checksum);

} // namespace qarvel
