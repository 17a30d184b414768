#include "packer/output_file.h"

#include "packer/host_files.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <stdexcept>

namespace fs = std::filesystem;

namespace qarvel {

void refuse_folder(const std::string& path, const char* option, const char* what) {
    std::error_code ignored;
    if (fs::is_directory(utf8_path(path), ignored))
        throw std::runtime_error(std::string(option) + " " + path + " is a folder; name the " +
                                 what + " to write");
}

void write_text(const fs::path& path, const std::string& text, const std::string& shown_name) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (out)
        out << text;
    out.close();
    if (!out)
        throw std::runtime_error("cannot write " + shown_name + ": " + std::strerror(errno));
}

} // namespace qarvel
