#include "packer/depfile.h"

#include <fstream>
#include <stdexcept>

namespace fs = std::filesystem;

namespace qarvel {
namespace {

std::string escaped(const fs::path& path) {
    std::string text;
    for (char c : fs::absolute(path).string()) {
        if (c == ' ' || c == '#' || c == '\\')
            text.push_back('\\');
        if (c == '$')
            text.push_back('$');
        text.push_back(c);
    }
    return text;
}

} // namespace

void write_depfile(const fs::path& depfile, const fs::path& output, const AppFolder& folder) {
    std::ofstream out(depfile, std::ios::trunc);
    out << escaped(output) << ":";
    for (const auto& path : folder.folders)
        out << " \\\n  " << escaped(path);
    for (const auto& file : folder.files)
        out << " \\\n  " << escaped(file.source);
    out << "\n";
    out.close();
    if (!out)
        throw std::runtime_error("cannot write " + depfile.string());
}

} // namespace qarvel
