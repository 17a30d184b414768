#pragma once

// The RT_VERSION resource of a launcher: VS_VERSIONINFO with its fixed file
// information, one U.S. English UTF-16 string table, and the translation
// that names it.

#include <string>
#include <vector>

namespace qarvel {

struct VersionStrings {
    std::u16string company, description, version, internal_name, copyright, original_filename,
        product;
};

// version holds four numbers of at most 65535 ("1.20.0.0"), checked before;
// an empty copyright is left out, as the compiled launcher leaves it out.
std::vector<unsigned char> version_resource(const VersionStrings& strings);

} // namespace qarvel
