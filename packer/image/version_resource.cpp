#include "packer/image/version_resource.h"

#include "packer/image/pe_records.h"
#include "packer/refusal.h"

#include <cstdio>
#include <cstring>
#include <stdexcept>

namespace qarvel {
namespace {

// Every node of the version information ("VS_VERSIONINFO", "String",
// "StringTable"...): its header, the key with its terminator, zero padding
// to 32 bits, the value, then the children, each starting on 32 bits. The
// header's length covers the children.
enum class ValueKind : uint16_t { binary = 0, text = 1 };

void pad_to_32_bits(std::vector<unsigned char>& out) {
    while (out.size() % 4 != 0)
        out.push_back(0);
}

void put_text(std::vector<unsigned char>& out, const std::u16string& text) {
    for (char16_t unit : text) {
        out.push_back(static_cast<unsigned char>(unit));
        out.push_back(static_cast<unsigned char>(unit >> 8));
    }
    out.push_back(0);
    out.push_back(0);
}

template <typename Record> std::vector<unsigned char> record_bytes(const Record& record) {
    std::vector<unsigned char> bytes;
    pe::append_record(bytes, record);
    return bytes;
}

std::vector<unsigned char> node(const std::u16string& key, ValueKind kind, uint16_t value_length,
                                const std::vector<unsigned char>& value,
                                const std::vector<std::vector<unsigned char>>& children) {
    std::vector<unsigned char> out(sizeof(pe::VersionNodeHeader), 0);
    put_text(out, key);
    pad_to_32_bits(out);
    out.insert(out.end(), value.begin(), value.end());
    for (const auto& child : children) {
        pad_to_32_bits(out);
        out.insert(out.end(), child.begin(), child.end());
    }
    if (out.size() > 0xFFFF)
        throw Refusal("the version information is longer than 65535 bytes; "
                      "shorten its texts");
    const pe::VersionNodeHeader header{static_cast<uint16_t>(out.size()), value_length,
                                       static_cast<uint16_t>(kind)};
    std::memcpy(out.data(), &header, sizeof header);
    return out;
}

std::vector<unsigned char> string_node(const std::u16string& key, const std::u16string& value) {
    std::vector<unsigned char> text;
    put_text(text, value);
    return node(key, ValueKind::text, static_cast<uint16_t>(value.size() + 1), text, {});
}

// The numbers as FILEVERSION and PRODUCTVERSION of a resource script give
// them, flags as VS_FFI_FILEFLAGSMASK, VOS_NT_WINDOWS32 and VFT_APP.
pe::FixedFileInfo fixed_file_info(const std::array<uint16_t, 4>& numbers) {
    const uint32_t most = uint32_t{numbers[0]} << 16 | numbers[1];
    const uint32_t least = uint32_t{numbers[2]} << 16 | numbers[3];
    pe::FixedFileInfo info{};
    info.signature = pe::fixed_file_info_signature;
    info.struct_version = 0x00010000;
    info.file_version_ms = most;
    info.file_version_ls = least;
    info.product_version_ms = most;
    info.product_version_ls = least;
    info.file_flags_mask = 0x3F; // VS_FFI_FILEFLAGSMASK
    info.file_os = 0x00040004;   // VOS_NT_WINDOWS32
    info.file_type = 1;          // VFT_APP
    return info;
}

// The string table's key: the language and the code page in hexadecimal,
// which the translation must name too.
std::u16string string_table_key() {
    char key[9];
    std::snprintf(key, sizeof key, "%04X%04X", pe::us_english, pe::code_page_utf16);
    return std::u16string(key, key + 8);
}

} // namespace

std::vector<unsigned char> version_resource(const VersionStrings& strings,
                                            const std::array<uint16_t, 4>& numbers) {
    std::vector<std::vector<unsigned char>> table = {
        string_node(u"CompanyName", strings.company),
        string_node(u"FileDescription", strings.description),
        string_node(u"FileVersion", strings.version),
        string_node(u"InternalName", strings.internal_name),
    };
    if (!strings.copyright.empty())
        table.push_back(string_node(u"LegalCopyright", strings.copyright));
    table.push_back(string_node(u"OriginalFilename", strings.original_filename));
    table.push_back(string_node(u"ProductName", strings.product));
    table.push_back(string_node(u"ProductVersion", strings.version));

    auto string_file_info = node(u"StringFileInfo", ValueKind::text, 0, {},
                                 {node(string_table_key(), ValueKind::text, 0, {}, table)});
    const pe::Translation translation{pe::us_english, pe::code_page_utf16};
    auto var_file_info = node(u"VarFileInfo", ValueKind::text, 0, {},
                              {node(u"Translation", ValueKind::binary, sizeof translation,
                                    record_bytes(translation), {})});
    return node(u"VS_VERSION_INFO", ValueKind::binary, sizeof(pe::FixedFileInfo),
                record_bytes(fixed_file_info(numbers)), {string_file_info, var_file_info});
}

} // namespace qarvel
