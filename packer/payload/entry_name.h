#pragma once

#include <string>
#include <vector>

namespace qarvel {

// Why the launcher could not place an entry of this name (UTF-16, backslash
// separated) safely below its target directory on Windows; empty when it can.
std::string entry_name_problem(const std::u16string& name);

// The name as Windows compares file names: every unit upper-cased on its
// own, as NTFS does, so letters outside the BMP keep their case.
std::u16string windows_name_key(const std::u16string& name);

// The first two names that Windows would take for the same file, or for a
// file and a folder of the same name; empty when there are none.
std::string find_name_clash(const std::vector<std::u16string>& names);

} // namespace qarvel
