#include "packer/files/depfile.h"

namespace fs = std::filesystem;

namespace qarvel {
namespace {

std::string escaped(const fs::path& path) {
    std::string text;
    for (char c : fs::absolute(path).u8string()) {
        if (c == ' ' || c == '#' || c == '\\')
            text.push_back('\\');
        if (c == '$')
            text.push_back('$');
        text.push_back(c);
    }
    return text;
}

} // namespace

std::string depfile_text(const fs::path& output, const AppFolder& folder) {
    std::string text = escaped(output) + ":";
    for (const auto& path : folder.folders)
        text += " \\\n  " + escaped(path);
    for (const auto& file : folder.files)
        text += " \\\n  " + escaped(file.source);
    return text + "\n";
}

} // namespace qarvel
