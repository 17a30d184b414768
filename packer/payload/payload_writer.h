#pragma once

#include "packer/files/temporary_file.h"
#include "packer/payload/app_folder.h"
#include "packer/payload/entry_stream.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

namespace qarvel {

struct CompressionOptions {
    int level = 19;
    // 8 MiB: faster to decode and far less memory than the 27 allowed, for
    // output a fraction of a percent larger (bench/README.md has the figures).
    int window_log = 23;
    // 0: as many as the machine runs well (default_thread_count).
    int threads = 0;
};

struct PackResult {
    uint64_t entry_stream_bytes = 0;
    uint64_t payload_bytes = 0;
    // Every entry's header, in stream order.
    std::vector<EntryHeader> entries;
};

// Called often while packing: entry-stream bytes compressed so far, of the
// total, and payload bytes written so far.
using PackProgress = std::function<void(uint64_t bytes_in, uint64_t total_in, uint64_t bytes_out)>;

// The zero bytes and the trailer that end a payload whose header and frame
// take frame_end_offset bytes.
std::vector<unsigned char> payload_tail(uint64_t frame_end_offset);

// Entry-stream bytes that files make, end marker included.
uint64_t entry_stream_size(const std::vector<AppFile>& files);

// Writes the payload for files (main executable first) to the file, and
// closes it. Progress is reported as the compressor consumes its input,
// whatever the number of threads.
PackResult write_payload(const std::vector<AppFile>& files, TemporaryFile& file,
                         const CompressionOptions& options, const PackProgress& progress = {});

// The same into a stream, from where it stands; shown_name names it in a
// failure. The caller flushes and closes it.
PackResult write_payload(const std::vector<AppFile>& files, std::ostream& out,
                         const std::string& shown_name, const CompressionOptions& options,
                         const PackProgress& progress = {});

} // namespace qarvel
