#include "packer/image/version_resource.h"

#include <cstdint>
#include <cstdlib>
#include <stdexcept>

namespace qarvel {
namespace {

// Every node of the version information ("VS_VERSIONINFO", "String",
// "StringTable"...): wLength, wValueLength, wType, the key with its
// terminator, zero padding to 32 bits, the value, then the children, each
// starting on 32 bits. wLength covers the children; wValueLength counts
// words in text values and bytes in binary ones.
enum class ValueKind : uint16_t { binary = 0, text = 1 };

void put_u16(std::vector<unsigned char>& out, uint16_t value) {
    out.push_back(static_cast<unsigned char>(value));
    out.push_back(static_cast<unsigned char>(value >> 8));
}

void put_u32(std::vector<unsigned char>& out, uint32_t value) {
    put_u16(out, static_cast<uint16_t>(value));
    put_u16(out, static_cast<uint16_t>(value >> 16));
}

void pad_to_32_bits(std::vector<unsigned char>& out) {
    while (out.size() % 4 != 0)
        out.push_back(0);
}

void put_text(std::vector<unsigned char>& out, const std::u16string& text) {
    for (char16_t unit : text)
        put_u16(out, unit);
    put_u16(out, 0);
}

std::vector<unsigned char> node(const std::u16string& key, ValueKind kind, uint16_t value_length,
                                const std::vector<unsigned char>& value,
                                const std::vector<std::vector<unsigned char>>& children) {
    std::vector<unsigned char> out(6, 0);
    put_text(out, key);
    pad_to_32_bits(out);
    out.insert(out.end(), value.begin(), value.end());
    for (const auto& child : children) {
        pad_to_32_bits(out);
        out.insert(out.end(), child.begin(), child.end());
    }
    if (out.size() > 0xFFFF)
        throw std::runtime_error("the version information is longer than 65535 bytes; "
                                 "shorten its texts");
    out[0] = static_cast<unsigned char>(out.size());
    out[1] = static_cast<unsigned char>(out.size() >> 8);
    out[2] = static_cast<unsigned char>(value_length);
    out[3] = static_cast<unsigned char>(value_length >> 8);
    out[4] = static_cast<unsigned char>(kind);
    out[5] = 0;
    return out;
}

std::vector<unsigned char> string_node(const std::u16string& key, const std::u16string& value) {
    std::vector<unsigned char> text;
    put_text(text, value);
    return node(key, ValueKind::text, static_cast<uint16_t>(value.size() + 1), text, {});
}

// "VS_FIXEDFILEINFO": the numbers as FILEVERSION and PRODUCTVERSION of a
// resource script give them, flags as VS_FFI_FILEFLAGSMASK, VOS_NT_WINDOWS32
// and VFT_APP.
std::vector<unsigned char> fixed_file_info(const std::u16string& version) {
    uint32_t numbers[4] = {};
    size_t start = 0;
    for (int i = 0; i < 4; ++i) {
        size_t end = version.find(u'.', start);
        std::string digits;
        for (size_t k = start; k < (end == std::u16string::npos ? version.size() : end); ++k)
            digits.push_back(static_cast<char>(version[k]));
        numbers[i] = static_cast<uint32_t>(std::strtoul(digits.c_str(), nullptr, 10));
        start = end + 1;
    }
    std::vector<unsigned char> out;
    put_u32(out, 0xFEEF04BD);                    // dwSignature
    put_u32(out, 0x00010000);                    // dwStrucVersion
    put_u32(out, numbers[0] << 16 | numbers[1]); // dwFileVersionMS
    put_u32(out, numbers[2] << 16 | numbers[3]); // dwFileVersionLS
    put_u32(out, numbers[0] << 16 | numbers[1]); // dwProductVersionMS
    put_u32(out, numbers[2] << 16 | numbers[3]); // dwProductVersionLS
    put_u32(out, 0x3F);                          // dwFileFlagsMask: VS_FFI_FILEFLAGSMASK
    put_u32(out, 0);                             // dwFileFlags
    put_u32(out, 0x00040004);                    // dwFileOS: VOS_NT_WINDOWS32
    put_u32(out, 1);                             // dwFileType: VFT_APP
    put_u32(out, 0);                             // dwFileSubtype
    put_u32(out, 0);                             // dwFileDateMS
    put_u32(out, 0);                             // dwFileDateLS
    return out;
}

} // namespace

std::vector<unsigned char> version_resource(const VersionStrings& strings) {
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

    // U.S. English (0x0409) in UTF-16 (code page 1200): the string table's
    // key and the translation must name the same pair.
    auto string_file_info = node(u"StringFileInfo", ValueKind::text, 0, {},
                                 {node(u"040904B0", ValueKind::text, 0, {}, table)});
    std::vector<unsigned char> translation;
    put_u16(translation, 0x0409);
    put_u16(translation, 1200);
    auto var_file_info = node(u"VarFileInfo", ValueKind::text, 0, {},
                              {node(u"Translation", ValueKind::binary, 4, translation, {})});
    auto fixed = fixed_file_info(strings.version);
    return node(u"VS_VERSION_INFO", ValueKind::binary, static_cast<uint16_t>(fixed.size()), fixed,
                {string_file_info, var_file_info});
}

} // namespace qarvel
