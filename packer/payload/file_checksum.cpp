#include "packer/payload/file_checksum.h"

#include <zlib.h>

namespace qarvel {

StreamChecksum checksum_stream(std::istream& in, std::vector<char>& chunk,
                               const std::function<void(const unsigned char*, size_t)>& each_piece,
                               uint64_t most_bytes) {
    StreamChecksum sum;
    uLong crc = crc32(0L, Z_NULL, 0);
    while (in && sum.bytes <= most_bytes) {
        in.read(chunk.data(), static_cast<std::streamsize>(chunk.size()));
        auto got = static_cast<size_t>(in.gcount());
        const auto* piece = reinterpret_cast<const unsigned char*>(chunk.data());
        crc = crc32(crc, piece, static_cast<uInt>(got));
        if (each_piece && got > 0)
            each_piece(piece, got);
        sum.bytes += got;
    }
    sum.crc32 = static_cast<uint32_t>(crc);
    sum.read_failed = in.bad();
    return sum;
}

} // namespace qarvel
