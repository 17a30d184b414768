#include "packer/files/open_folder.h"

#include "packer/files/host_files.h"
#include "packer/refusal.h"

#include <stdexcept>
#include <string>

#ifdef _WIN32
#include <windows.h>
#else
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace qarvel {
namespace {

[[noreturn]] void refuse_link(const fs::path& level) {
    throw Refusal(shown_path(level) +
                  " is a link, and nothing is written through one: it could lead "
                  "out of the folder");
}

} // namespace

#ifdef _WIN32

OpenFolder::OpenFolder(const fs::path& path, const std::string& failure)
    : path_(long_path(path)), shown_(path) {
    if (resolved_path(path_).empty())
        throw Refusal(failure + ": " + system_message(GetLastError()));
}

OpenFolder::~OpenFolder() = default;

OpenFolder::OpenFolder(OpenFolder&& other) noexcept
    : path_(std::move(other.path_)), shown_(std::move(other.shown_)) {}

OpenFolder OpenFolder::below(const fs::path& relative) const {
    OpenFolder folder;
    folder.path_ = path_;
    folder.shown_ = shown_;
    for (const auto& name : relative) {
        folder.path_ /= name;
        folder.shown_ /= name;
        DWORD attributes = GetFileAttributesW(folder.path_.c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES) {
            if (!CreateDirectoryW(folder.path_.c_str(), nullptr) &&
                GetLastError() != ERROR_ALREADY_EXISTS)
                throw Refusal("cannot create the folder " + shown_path(folder.shown_) + ": " +
                              system_message(GetLastError()));
            attributes = GetFileAttributesW(folder.path_.c_str());
        }
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT))
            refuse_link(folder.shown_);
        if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY))
            throw Refusal(shown_path(folder.shown_) + " is not a folder");
    }
    // Names compared as text miss what the file system does with them: the
    // deepest folder's final path must still lie below this one's.
    std::wstring top = resolved_path(path_).native();
    std::wstring deepest = resolved_path(folder.path_).native();
    if (top.empty() || deepest.compare(0, top.size(), top) != 0 ||
        (deepest.size() > top.size() && deepest[top.size()] != L'\\' && top.back() != L'\\'))
        throw Refusal(shown_path(folder.shown_) + " leads out of " + shown_path(shown_) + ", to " +
                      shown_path(deepest));
    return folder;
}

#else

OpenFolder::OpenFolder(const fs::path& path, const std::string& failure)
    : path_(path), shown_(path) {
    descriptor_ = ::open(path.empty() ? "." : path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (descriptor_ < 0)
        throw Refusal(failure + ": " + std::strerror(errno));
}

OpenFolder::~OpenFolder() {
    if (descriptor_ >= 0)
        ::close(descriptor_);
}

OpenFolder::OpenFolder(OpenFolder&& other) noexcept
    : path_(std::move(other.path_)), shown_(std::move(other.shown_)),
      descriptor_(other.descriptor_) {
    other.descriptor_ = -1;
}

OpenFolder OpenFolder::below(const fs::path& relative) const {
    OpenFolder folder;
    folder.path_ = path_;
    folder.shown_ = shown_;
    folder.descriptor_ = ::fcntl(descriptor_, F_DUPFD_CLOEXEC, 0);
    if (folder.descriptor_ < 0)
        throw Refusal("cannot open the folder " + shown_path(shown_) + ": " + std::strerror(errno));
    // Each level is opened from the one above it without following a link,
    // so a link made after any check still leads nowhere.
    for (const auto& name : relative) {
        folder.path_ /= name;
        folder.shown_ /= name;
        const int flags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
        int next = ::openat(folder.descriptor_, name.c_str(), flags);
        if (next < 0 && errno == ENOENT) {
            if (::mkdirat(folder.descriptor_, name.c_str(), 0777) != 0 && errno != EEXIST)
                throw Refusal("cannot create the folder " + shown_path(folder.shown_) + ": " +
                              std::strerror(errno));
            next = ::openat(folder.descriptor_, name.c_str(), flags);
        }
        if (next < 0) {
            int error = errno;
            struct stat status {};
            if (::fstatat(folder.descriptor_, name.c_str(), &status, AT_SYMLINK_NOFOLLOW) == 0 &&
                S_ISLNK(status.st_mode))
                refuse_link(folder.shown_);
            if (error == ENOTDIR)
                throw Refusal(shown_path(folder.shown_) + " is not a folder");
            throw Refusal("cannot open the folder " + shown_path(folder.shown_) + ": " +
                          std::strerror(error));
        }
        ::close(folder.descriptor_);
        folder.descriptor_ = next;
    }
    return folder;
}

#endif

} // namespace qarvel
