#include "payload/cache_files.h"

#include <stdexcept>

namespace fs = std::filesystem;

namespace qarvel_test {

namespace {

HANDLE open_existing(const fs::path& path, DWORD access, DWORD share_mode) {
    HANDLE file = CreateFileW(path.c_str(), access, share_mode, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        throw std::runtime_error("cannot open " + path.string());
    return file;
}

constexpr DWORD share_all = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

} // namespace

std::map<std::string, FileIdentity> identities_below(const fs::path& root) {
    std::map<std::string, FileIdentity> identities;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        if (!entry.is_regular_file())
            continue;
        HANDLE file = open_existing(entry.path(), FILE_READ_ATTRIBUTES, share_all);
        BY_HANDLE_FILE_INFORMATION information{};
        BOOL ok = GetFileInformationByHandle(file, &information);
        CloseHandle(file);
        if (!ok)
            throw std::runtime_error("cannot query " + entry.path().string());
        FileIdentity& identity = identities[fs::relative(entry.path(), root).generic_string()];
        identity.last_write =
            (static_cast<unsigned long long>(information.ftLastWriteTime.dwHighDateTime) << 32) |
            information.ftLastWriteTime.dwLowDateTime;
        identity.volume = information.dwVolumeSerialNumber;
        identity.index = (static_cast<unsigned long long>(information.nFileIndexHigh) << 32) |
                         information.nFileIndexLow;
    }
    return identities;
}

std::set<std::string> folders_below(const fs::path& root) {
    std::set<std::string> folders;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        if (entry.is_directory())
            folders.insert(fs::relative(entry.path(), root).generic_string());
    }
    return folders;
}

void age_files_below(const fs::path& root) {
    SYSTEMTIME day{2001, 3, 0, 14, 12, 0, 0, 0};
    FILETIME old_time{};
    SystemTimeToFileTime(&day, &old_time);
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        if (!entry.is_regular_file())
            continue;
        HANDLE file = open_existing(entry.path(), FILE_WRITE_ATTRIBUTES, share_all);
        BOOL ok = SetFileTime(file, nullptr, nullptr, &old_time);
        CloseHandle(file);
        if (!ok)
            throw std::runtime_error("cannot set the time of " + entry.path().string());
    }
}

HeldFiles::HeldFiles(const fs::path& path, DWORD share_mode) {
    try {
        if (!fs::is_directory(path)) {
            handles_.push_back(open_existing(path, GENERIC_READ, share_mode));
            return;
        }
        for (const auto& entry : fs::recursive_directory_iterator(path)) {
            if (entry.is_regular_file())
                handles_.push_back(open_existing(entry.path(), GENERIC_READ, share_mode));
        }
    } catch (...) {
        for (HANDLE handle : handles_)
            CloseHandle(handle);
        throw;
    }
}

HeldFiles::~HeldFiles() {
    for (HANDLE handle : handles_)
        CloseHandle(handle);
}

} // namespace qarvel_test
