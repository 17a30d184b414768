#pragma once

#include "packer/app_folder.h"

#include <cstdint>
#include <filesystem>
#include <vector>

namespace qarvel {

struct CompressionOptions {
    int level = 19;
    int window_log = 0; // 0: zstd's choice for the level, never above 27
    int threads = 0;
};

struct PackResult {
    uint64_t entry_stream_bytes = 0;
    uint64_t payload_bytes = 0;
};

// Writes the payload for files (main executable first) to output.
PackResult write_payload(const std::vector<AppFile>& files, const std::filesystem::path& output,
                         const CompressionOptions& options);

} // namespace qarvel
