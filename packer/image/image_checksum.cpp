#include "packer/image/image_checksum.h"

namespace qarvel {

// The words' sum is each byte's value, times 256 at an odd offset: pieces
// may then start and end anywhere.
void ImageChecksum::add(uint64_t offset, const unsigned char* bytes, size_t size) {
    size_t i = 0;
    if (size > 0 && offset % 2 != 0) {
        add_byte(offset, bytes[0]);
        i = 1;
    }
    for (; i + 1 < size; i += 2) {
        if (offset + i == field_ || offset + i == field_ + 2)
            continue;
        sum_ += uint64_t{bytes[i]} | uint64_t{bytes[i + 1]} << 8;
    }
    if (i < size)
        add_byte(offset + i, bytes[i]);
}

void ImageChecksum::add_byte(uint64_t offset, unsigned char byte) {
    if (offset >= field_ && offset < field_ + 4)
        return;
    sum_ += offset % 2 == 0 ? uint64_t{byte} : uint64_t{byte} << 8;
}

uint32_t ImageChecksum::finish(uint64_t file_bytes) const {
    uint64_t sum = sum_;
    while (sum >> 16)
        sum = (sum & 0xFFFF) + (sum >> 16);
    return static_cast<uint32_t>(sum + file_bytes);
}

} // namespace qarvel
