#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <istream>
#include <vector>

namespace qarvel {

struct StreamChecksum {
    uint32_t crc32 = 0; // zlib's CRC-32, as computed: a 0 stays 0
    uint64_t bytes = 0;
    bool read_failed = false;
};

// Reads in to its end, or until more than most_bytes have come, in pieces the
// size of chunk; each piece goes to each_piece, when given, as it is summed.
StreamChecksum
checksum_stream(std::istream& in, std::vector<char>& chunk,
                const std::function<void(const unsigned char*, size_t)>& each_piece = {},
                uint64_t most_bytes = UINT64_MAX);

} // namespace qarvel
