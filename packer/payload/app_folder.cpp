#include "packer/payload/app_folder.h"

#include "packer/files/host_files.h"
#include "packer/image/windows_executable.h"
#include "packer/payload/entry_name.h"
#include "packer/payload/printable_name.h"
#include "packer/refusal.h"

#include <algorithm>
#include <fstream>
#include <set>
#include <stdexcept>

namespace fs = std::filesystem;

namespace qarvel {
namespace {

[[noreturn]] void reject(const std::string& message) {
    throw Refusal(message);
}

std::string quoted(const fs::path& path) {
    return "'" + shown_path(path) + "'";
}

bool is_within(const fs::path& folder, const fs::path& path) {
    auto [folder_end, path_at] =
        std::mismatch(folder.begin(), folder.end(), path.begin(), path.end());
    return folder_end == folder.end();
}

class FolderWalk {
  public:
    // Links are judged by where they resolve to; the walk itself reads the
    // folder by the path it was given.
    explicit FolderWalk(const fs::path& root) : root_(walk_root(root)) {
        root_real_ = resolved_path(root_);
        if (root_real_.empty())
            reject("cannot read the folder " + quoted(root));
    }

    AppFolder run() {
        walk(root_, fs::path());
        return std::move(result_);
    }

  private:
    void walk(const fs::path& folder, const fs::path& relative_folder) {
        fs::path real = resolved_path(folder);
        if (!ancestors_.insert(real).second)
            reject("the symbolic link " + quoted(relative_folder) +
                   " leads back into a folder above it");
        result_.folders.push_back(folder);
        std::error_code error;
        fs::directory_iterator it(folder, error), end;
        if (error)
            reject("cannot read the folder " +
                   quoted(relative_folder.empty() ? folder : relative_folder) + ": " +
                   error.message());
        for (; it != end; it.increment(error)) {
            if (error)
                break;
            add(it->path(), relative_folder / it->path().filename());
        }
        if (error)
            reject("cannot read the folder " + quoted(relative_folder) + ": " + error.message());
        ancestors_.erase(real);
    }

    void add(const fs::path& path, const fs::path& relative) {
#ifndef _WIN32
        if (relative.filename().string().find('\\') != std::string::npos)
            reject(quoted(relative) +
                   " has a backslash in its name, which Windows reads as a folder separator");
#endif
        if (is_link(path)) {
            fs::path target = resolved_path(path);
            if (target.empty())
                reject("the symbolic link " + quoted(relative) +
                       " points to nothing that can be read");
            if (!is_within(root_real_, target))
                reject("the symbolic link " + quoted(relative) + " leads out of the folder, to " +
                       quoted(target));
        }
        fs::file_status status = fs::status(path);
        if (fs::is_directory(status)) {
            walk(path, relative);
        } else if (fs::is_regular_file(status)) {
            check_readable(path, relative);
            result_.files.push_back({path, payload_name(relative), fs::file_size(path)});
        } else {
            reject(quoted(relative) + " is not a regular file (a device, socket or pipe)");
        }
    }

    static std::u16string payload_name(const fs::path& relative) {
        std::u16string name;
        for (const auto& component : relative) {
            if (!name.empty())
                name.push_back(u'\\');
            name += name_as_utf16(component, relative);
        }
        return name;
    }

    fs::path root_;
    fs::path root_real_;
    std::set<fs::path> ancestors_;
    AppFolder result_;
};

// The main executable's name as the payload stores it; "/" and "\" both
// separate folders, and a leading "./" is dropped.
std::u16string main_entry_name(const std::string& main_relative_path) {
    if (main_relative_path.empty())
        reject("--main is empty");
    if (utf8_path(main_relative_path).is_absolute())
        reject("--main '" + main_relative_path + "' must name the file relative to the folder");
    std::optional<std::u16string> decoded = decode_utf8(main_relative_path);
    if (!decoded)
        reject("--main '" + main_relative_path + "' is not valid UTF-8");
    std::u16string name = *decoded;
    std::replace(name.begin(), name.end(), u'/', u'\\');
    while (name.rfind(u".\\", 0) == 0)
        name.erase(0, 2);
    std::string problem = entry_name_problem(name);
    if (!problem.empty())
        reject("--main '" + main_relative_path + "' " + problem);
    return name;
}

std::vector<unsigned char> file_head(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        reject("cannot read " + path.u8string());
    std::vector<unsigned char> head(executable_head_bytes);
    in.read(reinterpret_cast<char*>(head.data()), static_cast<std::streamsize>(head.size()));
    if (in.bad())
        reject("cannot read " + path.u8string());
    head.resize(static_cast<size_t>(in.gcount()));
    return head;
}

} // namespace

bool path_is_inside(const fs::path& folder, const fs::path& path) {
    return is_within(comparable_path(folder), comparable_path(path));
}

AppFolder collect_app_folder(const fs::path& folder, const std::string& main_relative_path) {
    std::error_code error;
    if (!fs::is_directory(folder, error))
        reject("not a folder: " + folder.u8string());
    std::u16string main_name = main_entry_name(main_relative_path);

    AppFolder result;
    try {
        result = FolderWalk(folder).run();
    } catch (const fs::filesystem_error& failure) {
        reject("cannot read " + quoted(failure.path1()) + ": " + failure.code().message());
    }
    auto& files = result.files;

    std::vector<std::u16string> names;
    for (const auto& file : files) {
        std::string problem = entry_name_problem(file.name);
        if (!problem.empty())
            reject("the name '" + printable_name(file.name) + "' " + problem);
        names.push_back(file.name);
    }

    auto main_it = std::find_if(files.begin(), files.end(),
                                [&](const AppFile& file) { return file.name == main_name; });
    if (main_it == files.end()) {
        std::string message = "the main executable '" + main_relative_path + "' is not a file in " +
                              folder.u8string();
        auto key = windows_name_key(main_name);
        for (const auto& file : files)
            if (windows_name_key(file.name) == key)
                message += " (did you mean '" + printable_name(file.name) + "'?)";
        reject(message);
    }

    std::string clash = find_name_clash(names);
    if (!clash.empty())
        reject(clash);

    std::string not_executable = not_a_windows_executable(file_head(main_it->source));
    if (!not_executable.empty())
        reject("the main executable '" + main_relative_path + "' is " + not_executable +
               "; the launcher starts it, so it must be a Windows program for x86-64 or x86");

    std::iter_swap(files.begin(), main_it);
    std::sort(files.begin() + 1, files.end(),
              [](const AppFile& a, const AppFile& b) { return a.name < b.name; });
    std::sort(result.folders.begin(), result.folders.end());
    return result;
}

} // namespace qarvel
