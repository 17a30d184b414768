#pragma once

// The RT_VERSION resource of a launcher: VS_VERSIONINFO with its fixed file
// information, one U.S. English UTF-16 string table, and the translation
// that names it.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace qarvel {

struct VersionStrings {
    std::u16string company, description, version, internal_name, copyright, original_filename,
        product;
};

// numbers are the four numbers of strings.version, as the identity parsed
// them; an empty copyright is left out rather than written empty.
std::vector<unsigned char> version_resource(const VersionStrings& strings,
                                            const std::array<uint16_t, 4>& numbers);

} // namespace qarvel
