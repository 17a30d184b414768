#pragma once

#include "packer/files/utf16.h"
#include "packer/refusal.h"

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

struct AppFolder {
    // The main executable first, then every other file in the order of their
    // UTF-16 names, so one folder always gives the same bytes.
    std::vector<AppFile> files;
    // Every folder read on the way, for build systems that track additions.
    std::vector<std::filesystem::path> folders;
};

// Reads the folder and checks that the launcher can place every file of it
// on Windows. Symbolic links are followed while they stay inside the folder.
// Throws Refusal with a message for the user on bad input.
AppFolder collect_app_folder(const std::filesystem::path& folder,
                             const std::string& main_relative_path);

// Whether path lies in folder or below it; both are resolved first.
bool path_is_inside(const std::filesystem::path& folder, const std::filesystem::path& path);

} // namespace qarvel
