#pragma once

// The one reader of PE headers in qarvel-pack: the DOS header, the NT
// signature, the file header, the optional header as far as it is a PE32+
// one, and the section table. It judges nothing beyond what it needs to read
// on; each caller checks what it needs (the carried image, a payload's
// launcher, a main executable) and says so in its own words.

#include "packer/image/pe_records.h"

#include <cstddef>
#include <optional>
#include <vector>

namespace qarvel {

// How far the bytes read as a PE image.
enum class PeShape {
    not_mz,        // no "MZ" at the start
    mz_cut_short,  // "MZ", but shorter than the DOS header
    no_nt_headers, // an MS-DOS program: no "PE\0\0" and file header where e_lfanew points
    windows_image, // the signature and the file header are there
};

struct PeHeaders {
    PeShape shape = PeShape::not_mz;
    size_t nt_offset = 0;  // e_lfanew, once there is a DOS header
    pe::FileHeader file{}; // once windows_image
    // The optional header, when the file header gives it its PE32+ size
    // and the bytes hold it whole.
    std::optional<pe::OptionalHeader64> optional64;
    size_t sections_offset = 0; // where the file header says the table starts
    // The section headers that lie whole within the bytes, in table order;
    // sections_whole tells whether the whole table did.
    std::vector<pe::SectionHeader> sections;
    bool sections_whole = false;
};

PeHeaders read_pe_headers(const unsigned char* bytes, size_t size);

inline PeHeaders read_pe_headers(const std::vector<unsigned char>& bytes) {
    return read_pe_headers(bytes.data(), bytes.size());
}

// The offset of the optional header's CheckSum field in a file whose NT
// headers start at nt_offset.
constexpr size_t checksum_field_offset(size_t nt_offset) {
    return nt_offset + offsetof(pe::NtHeaders64, optional) +
           offsetof(pe::OptionalHeader64, check_sum);
}

} // namespace qarvel
