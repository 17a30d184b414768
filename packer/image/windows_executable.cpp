#include "packer/image/windows_executable.h"

#include "packer/image/pe_reader.h"

#include <algorithm>
#include <cstddef>
#include <cstdio>

namespace qarvel {
namespace {

bool looks_like_text(const std::vector<unsigned char>& head) {
    return std::all_of(head.begin(), head.end(), [](unsigned char byte) {
        return byte >= 0x20 || byte == '\t' || byte == '\n' || byte == '\r';
    });
}

std::string machine_name(uint16_t machine) {
    switch (machine) {
    case 0xAA64:
        return "ARM64";
    case 0x01C4:
        return "ARM";
    case 0x0200:
        return "Itanium";
    }
    char hex[16];
    std::snprintf(hex, sizeof hex, "0x%04x", machine);
    return std::string("machine ") + hex;
}

} // namespace

std::string not_a_windows_executable(const std::vector<unsigned char>& head) {
    constexpr uint16_t machine_x64 = 0x8664, machine_x86 = 0x014C;
    constexpr uint16_t file_executable = 0x0002, file_dll = 0x2000;
    if (head.empty())
        return "an empty file";
    if (head.size() >= 4 && head[0] == 0x7F && head[1] == 'E' && head[2] == 'L' && head[3] == 'F')
        return "a Linux (ELF) program";
    const PeHeaders headers = read_pe_headers(head);
    if (headers.shape == PeShape::not_mz)
        return looks_like_text(head) ? "a text file" : "not a Windows executable";
    if (headers.shape == PeShape::mz_cut_short)
        return "a file cut short after its MZ header";
    if (headers.shape == PeShape::no_nt_headers)
        return "an MS-DOS program, not a Windows one";
    const uint16_t machine = headers.file.machine;
    const uint16_t characteristics = headers.file.characteristics;
    if (machine != machine_x64 && machine != machine_x86)
        return "a Windows executable for " + machine_name(machine) +
               ", which x86-64 Windows does not start";
    if ((characteristics & file_dll) != 0)
        return "a DLL";
    if ((characteristics & file_executable) == 0)
        return "a Windows object file, not a linked executable";
    return "";
}

} // namespace qarvel
