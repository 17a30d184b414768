#include "packer/files/output_file.h"

#include "packer/files/host_files.h"
#include "packer/refusal.h"

#include <stdexcept>

namespace fs = std::filesystem;

namespace qarvel {

void refuse_folder(const std::string& path, const char* option, const char* what) {
    std::error_code ignored;
    if (fs::is_directory(utf8_path(path), ignored))
        throw Refusal(std::string(option) + " " + path + " is a folder; name the " + what +
                      " to write");
}

void write_text(TemporaryFile& file, const std::string& text) {
    file.out() << text;
    file.close();
}

void create_parent_folders(const fs::path& path) {
    std::error_code error;
    if (path.has_parent_path())
        fs::create_directories(path.parent_path(), error);
    if (error)
        throw Refusal("cannot create the folder of " + path.u8string() + ": " + error.message());
}

void put_in_place_with_depfile(TemporaryFile& output, std::optional<TemporaryFile>& depfile,
                               const fs::path& final_output) {
    output.put_in_place();
    if (!depfile)
        return;
    try {
        depfile->put_in_place();
    } catch (...) {
        std::error_code ignored;
        fs::remove(final_output, ignored);
        throw;
    }
}

} // namespace qarvel
