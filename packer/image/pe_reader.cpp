#include "packer/image/pe_reader.h"

namespace qarvel {

PeHeaders read_pe_headers(const unsigned char* bytes, size_t size) {
    PeHeaders headers;
    if (size < 2 || bytes[0] != 'M' || bytes[1] != 'Z')
        return headers;
    if (size < sizeof(pe::DosHeader)) {
        headers.shape = PeShape::mz_cut_short;
        return headers;
    }
    headers.nt_offset = pe::read_record<pe::DosHeader>(bytes, 0).new_header_offset;
    headers.shape = PeShape::no_nt_headers;
    const size_t file_header_offset = headers.nt_offset + offsetof(pe::NtHeaders64, file);
    if (file_header_offset + sizeof(pe::FileHeader) > size ||
        pe::read_record<uint32_t>(bytes, headers.nt_offset) != pe::nt_signature)
        return headers;
    headers.shape = PeShape::windows_image;
    headers.file = pe::read_record<pe::FileHeader>(bytes, file_header_offset);

    const size_t optional_offset = file_header_offset + sizeof(pe::FileHeader);
    if (headers.file.size_of_optional_header == sizeof(pe::OptionalHeader64) &&
        optional_offset + sizeof(pe::OptionalHeader64) <= size) {
        auto optional = pe::read_record<pe::OptionalHeader64>(bytes, optional_offset);
        if (optional.magic == pe::pe32_plus_magic)
            headers.optional64 = optional;
    }
    headers.sections_offset = optional_offset + headers.file.size_of_optional_header;
    headers.sections_whole = true;
    for (size_t i = 0; i < headers.file.number_of_sections; ++i) {
        size_t at = headers.sections_offset + i * sizeof(pe::SectionHeader);
        if (at + sizeof(pe::SectionHeader) > size) {
            headers.sections_whole = false;
            break;
        }
        headers.sections.push_back(pe::read_record<pe::SectionHeader>(bytes, at));
    }
    return headers;
}

} // namespace qarvel
