#pragma once

// What every command that writes files checks and does the same way.

#include <filesystem>
#include <string>

namespace qarvel {

// Throws one line when path names a folder: OPTION PATH is a folder; name
// the WHAT to write.
void refuse_folder(const std::string& path, const char* option, const char* what);

// Writes text to path whole; throws one line naming shown_name otherwise.
void write_text(const std::filesystem::path& path, const std::string& text,
                const std::string& shown_name);

} // namespace qarvel
