#pragma once

// What a test needs to see whether a launch wrote into its cache: each
// file's identity and last-write time, and handles that keep every file from
// being opened for writing.
#include <filesystem>
#include <map>
#include <ostream>
#include <set>
#include <string>
#include <vector>
#include <windows.h>

namespace qarvel_test {

struct FileIdentity {
    unsigned long long last_write = 0; // FILETIME units
    DWORD volume = 0;
    unsigned long long index = 0;
    bool operator==(const FileIdentity& other) const {
        return last_write == other.last_write && volume == other.volume && index == other.index;
    }
    bool operator!=(const FileIdentity& other) const { return !(*this == other); }
};

inline void PrintTo(const FileIdentity& identity, std::ostream* out) {
    *out << "{written " << identity.last_write << ", volume " << identity.volume << ", index "
         << identity.index << "}";
}

// Every file below root, by its name relative to root ('/' separated).
std::map<std::string, FileIdentity> identities_below(const std::filesystem::path& root);

// Every folder below root, relative to root.
std::set<std::string> folders_below(const std::filesystem::path& root);

// Sets the last-write time of every file below root to one day in 2001, so
// that any later write shows whatever the clock's resolution.
void age_files_below(const std::filesystem::path& root);

// Handles on one file, or on every file below a folder, opened for reading
// with the given share mode; closed when the object goes.
class HeldFiles {
  public:
    HeldFiles(const std::filesystem::path& path, DWORD share_mode);
    ~HeldFiles();
    HeldFiles(const HeldFiles&) = delete;
    HeldFiles& operator=(const HeldFiles&) = delete;

  private:
    std::vector<HANDLE> handles_;
};

} // namespace qarvel_test
