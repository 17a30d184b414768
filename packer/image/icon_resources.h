#pragma once

// An .ico file read and checked once, as the resources a launcher carries.

#include "packer/image/resource_section.h"
#include "packer/refusal.h"

#include <string>
#include <vector>

namespace qarvel {

// The icon's images as RT_ICON resources 1..n, then the RT_GROUP_ICON 1 that
// lists them. Throws Refusal naming shown_name when ico is not a
// sound .ico file.
std::vector<Resource> icon_resources(const std::vector<unsigned char>& ico,
                                     const std::string& shown_name);

// The bytes of the icon file at path (UTF-8); throws Refusal when
// there is none.
std::vector<unsigned char> read_icon_file(const std::string& path);

} // namespace qarvel
