#pragma once

#include "packer/payload/app_folder.h"

#include <filesystem>
#include <string>

namespace qarvel {

// A make-style dependency rule naming every file packed and every folder
// read, so that a build repacks when any of them changes or one is added.
std::string depfile_text(const std::filesystem::path& output, const AppFolder& folder);

} // namespace qarvel
