#pragma once

#include "packer/refusal.h"

#include <filesystem>
#include <string>

namespace qarvel {

// A folder that files are made in. On Linux it is held open, and files are
// made and renamed through it, so that they land in that very folder
// whatever its path leads to meanwhile; on Windows it is its path.
class OpenFolder {
  public:
    // The folder a user named, links followed: it is theirs to point
    // elsewhere. Throws Refusal "FAILURE: <the system's reason>"
    // when it cannot be opened.
    OpenFolder(const std::filesystem::path& path, const std::string& failure);
    ~OpenFolder();
    OpenFolder(OpenFolder&& other) noexcept;
    OpenFolder(const OpenFolder&) = delete;
    OpenFolder& operator=(const OpenFolder&) = delete;
    OpenFolder& operator=(OpenFolder&&) = delete;

    // The folder relative below this one, each missing level made. No level
    // may be a symbolic link, or on Windows any reparse point (a junction
    // too), and on Windows its final path must still lie below this one's:
    // throws Refusal naming the level otherwise.
    OpenFolder below(const std::filesystem::path& relative) const;

    const std::filesystem::path& path() const { return path_; }
    const std::filesystem::path& shown() const { return shown_; }
#ifndef _WIN32
    int descriptor() const {
        return descriptor_;
    }
#endif

  private:
    OpenFolder() = default;
    std::filesystem::path path_;
    // As the user spelled it, for messages.
    std::filesystem::path shown_;
#ifndef _WIN32
    int descriptor_ = -1;
#endif
};

} // namespace qarvel
