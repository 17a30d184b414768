#pragma once

// What every command that writes files checks and does the same way.

#include "packer/files/temporary_file.h"

#include <filesystem>
#include <optional>
#include <string>

namespace qarvel {

// Throws one line when path names a folder: OPTION PATH is a folder; name
// the WHAT to write.
void refuse_folder(const std::string& path, const char* option, const char* what);

// Writes text to the file whole and closes it; throws one line naming the
// file otherwise.
void write_text(TemporaryFile& file, const std::string& text);

// Makes the folders above path; throws one line when it cannot.
void create_parent_folders(const std::filesystem::path& path);

// Puts output in place, then depfile (when there is one); when the second
// fails, removes the first again, so that both names hold or neither.
void put_in_place_with_depfile(TemporaryFile& output, std::optional<TemporaryFile>& depfile,
                               const std::filesystem::path& final_output);

} // namespace qarvel
