#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace qarvel {

// One file of the application folder, as it will stand in the payload.
struct AppFile {
    std::filesystem::path source;
    std::u16string name; // relative, backslash-separated, UTF-16
    uint64_t size = 0;
};

// The folder's files: the main executable first, then every other file in
// the order of their UTF-16 names, so one folder always gives the same bytes.
// Throws std::runtime_error with a message for the user on bad input.
std::vector<AppFile> collect_app_files(const std::filesystem::path& folder,
                                       const std::string& main_relative_path);

// UTF-8 to UTF-16; throws on invalid UTF-8.
std::u16string utf8_to_utf16(const std::string& text);
std::string utf16_to_utf8(const std::u16string& text);

} // namespace qarvel
