#include "packer/identity/windows_executable.h"

#include "packer/image/pe_records.h"
#include "packer/payload/entry_stream.h"

#include <algorithm>
#include <cstddef>
#include <cstdio>

namespace qarvel {
namespace {

uint16_t read16(const std::vector<unsigned char>& bytes, size_t at) {
    return static_cast<uint16_t>(bytes[at] | bytes[at + 1] << 8);
}

uint32_t read32(const std::vector<unsigned char>& bytes, size_t at) {
    return static_cast<uint32_t>(read16(bytes, at)) | static_cast<uint32_t>(read16(bytes, at + 2))
                                                          << 16;
}

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

// The entry stream's first entry, up to executable_head_bytes; stops there.
struct FirstEntry : EntryVisitor {
    std::u16string name;
    std::vector<unsigned char> head;
    struct Enough {};
    void entry_begins(const EntryHeader& entry) override { name = entry.name; }
    void entry_content(const unsigned char* bytes, size_t size) override {
        size_t room = executable_head_bytes - head.size();
        head.insert(head.end(), bytes, bytes + std::min(size, room));
        if (head.size() == executable_head_bytes)
            throw Enough{};
    }
    void entry_ends(const EntryHeader&) override { throw Enough{}; }
};

} // namespace

std::string not_a_windows_executable(const std::vector<unsigned char>& head) {
    constexpr uint16_t machine_x64 = 0x8664, machine_x86 = 0x014C;
    constexpr uint16_t file_executable = 0x0002, file_dll = 0x2000;
    if (head.empty())
        return "an empty file";
    if (head.size() >= 4 && head[0] == 0x7F && head[1] == 'E' && head[2] == 'L' && head[3] == 'F')
        return "a Linux (ELF) program";
    if (head.size() < 2 || head[0] != 'M' || head[1] != 'Z')
        return looks_like_text(head) ? "a text file" : "not a Windows executable";
    if (head.size() < sizeof(pe::DosHeader))
        return "a file cut short after its MZ header";
    uint32_t pe_at = read32(head, offsetof(pe::DosHeader, new_header_offset));
    if (pe_at > head.size() - 4 - sizeof(pe::FileHeader) || read32(head, pe_at) != 0x00004550)
        return "an MS-DOS program, not a Windows one";
    size_t file_header = pe_at + 4;
    uint16_t machine = read16(head, file_header + offsetof(pe::FileHeader, machine));
    uint16_t characteristics =
        read16(head, file_header + offsetof(pe::FileHeader, characteristics));
    if (machine != machine_x64 && machine != machine_x86)
        return "a Windows executable for " + machine_name(machine) +
               ", which x86-64 Windows does not start";
    if ((characteristics & file_dll) != 0)
        return "a DLL";
    if ((characteristics & file_executable) == 0)
        return "a Windows object file, not a linked executable";
    return "";
}

std::vector<unsigned char> first_entry_head(const unsigned char* payload, uint64_t payload_bytes,
                                            std::u16string* name) {
    FirstEntry first;
    try {
        PayloadReading reading(payload, payload_bytes);
        read_entry_stream(first);
    } catch (const FirstEntry::Enough&) {
    }
    if (name != nullptr)
        *name = first.name;
    return first.head;
}

} // namespace qarvel
