#pragma once

#include <string>

namespace qarvel {

// Windows refuses to create a single name (a file or folder name, no
// backslashes) longer than this many UTF-16 units.
constexpr size_t max_windows_name_units = 255;

// Opening this name, with or without an extension, in any case, with
// trailing spaces before the extension, reaches a device rather than a file.
bool is_device_name(const std::u16string& name);

bool has_control_character(const std::u16string& name);

// Why Windows could not create a file or folder of this one name, as a
// phrase that follows the name ("holds a control character", "is a device
// name, which Windows opens as a device"); empty when it can. Backslashes
// count as forbidden characters: callers split paths first.
std::string windows_name_problem(const std::u16string& name);

} // namespace qarvel
