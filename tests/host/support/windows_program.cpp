#include "support/windows_program.h"

namespace qarvel_test {

Bytes windows_program(uint16_t machine, uint16_t characteristics) {
    constexpr size_t pe_at = 0x40, optional_header_bytes = 240;
    Bytes bytes(pe_at + 4 + 20 + optional_header_bytes, 0);
    bytes[0] = 'M';
    bytes[1] = 'Z';
    bytes[0x3C] = pe_at;
    bytes[pe_at] = 'P';
    bytes[pe_at + 1] = 'E';
    auto put16 = [&](size_t at, uint16_t value) {
        bytes[at] = static_cast<unsigned char>(value);
        bytes[at + 1] = static_cast<unsigned char>(value >> 8);
    };
    const size_t file_header = pe_at + 4;
    put16(file_header, machine);
    put16(file_header + 16, optional_header_bytes);
    put16(file_header + 18, characteristics);
    put16(file_header + 20, 0x20B);
    return bytes;
}

} // namespace qarvel_test
