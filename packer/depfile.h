#pragma once

#include "packer/app_folder.h"

#include <filesystem>

namespace qarvel {

// A make-style dependency file naming every file packed and every folder
// read, so that a build repacks when any of them changes or one is added.
void write_depfile(const std::filesystem::path& depfile, const std::filesystem::path& output,
                   const AppFolder& folder);

} // namespace qarvel
