#include "packer/files/mapped_file.h"

#include "packer/files/host_files.h"
#include "packer/files/temporary_file.h"
#include "packer/refusal.h"

#include <algorithm>
#include <stdexcept>
#include <string>

#ifdef _WIN32
#include <windows.h>
#else
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace qarvel {
namespace {

Refusal unreadable(const std::filesystem::path& path, const std::string& why) {
    return Refusal("cannot read " + path.u8string() + ": " + why);
}

} // namespace

#ifdef _WIN32

MappedFile::MappedFile(const std::filesystem::path& path) {
    HANDLE file =
        CreateFileW(long_path(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        throw unreadable(path, system_message(GetLastError()));
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file, &size)) {
        DWORD error = GetLastError();
        CloseHandle(file);
        throw unreadable(path, system_message(error));
    }
    if (size.QuadPart == 0) {
        CloseHandle(file);
        return;
    }
    // The view keeps the mapping, and the mapping the file, open
    // ("CreateFileMappingW": both handles may be closed once mapped).
    HANDLE mapping = CreateFileMappingW(file, nullptr, PAGE_READONLY, 0, 0, nullptr);
    DWORD error = GetLastError();
    CloseHandle(file);
    if (mapping == nullptr)
        throw unreadable(path, system_message(error));
    void* view = MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0);
    error = GetLastError();
    CloseHandle(mapping);
    if (view == nullptr)
        throw unreadable(path, system_message(error));
    data_ = static_cast<const unsigned char*>(view);
    size_ = static_cast<size_t>(size.QuadPart);
}

MappedFile::~MappedFile() {
    if (data_ != nullptr)
        UnmapViewOfFile(data_);
}

#else

namespace {

// The file mapped last, for the line below.
char mapped_name[4096];

void write_text(const char* text) {
    for (size_t left = std::strlen(text); left > 0;) {
        ssize_t written = ::write(STDERR_FILENO, text, left);
        if (written <= 0)
            return;
        text += written;
        left -= static_cast<size_t>(written);
    }
}

// A mapped file that another program shortens while it is read ends in
// SIGBUS at the first page past its new end: one line and no partial
// output, as for any other unreadable file, rather than a crash.
void on_bus_error(int) {
    write_text("qarvel-pack: error: cannot read ");
    write_text(mapped_name);
    write_text(": another program cut it short while it was being read\n");
    remove_temporary_files_at_once();
    _exit(1);
}

void remember_mapped(const std::filesystem::path& path) {
    static bool handled = false;
    if (!handled) {
        struct sigaction action {};
        action.sa_handler = on_bus_error;
        sigemptyset(&action.sa_mask);
        sigaction(SIGBUS, &action, nullptr);
        handled = true;
    }
    std::string name = path.u8string();
    size_t length = std::min(name.size(), sizeof mapped_name - 1);
    std::memcpy(mapped_name, name.data(), length);
    mapped_name[length] = 0;
}

} // namespace

MappedFile::MappedFile(const std::filesystem::path& path) {
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        throw unreadable(path, std::strerror(errno));
    struct stat status {};
    if (fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        int error = S_ISREG(status.st_mode) ? errno : EINVAL;
        close(fd);
        throw unreadable(path, std::strerror(error));
    }
    if (status.st_size == 0) {
        close(fd);
        return;
    }
    // Populated at once: the whole file is read, and the pages are already
    // in the page cache after the file was written.
    void* view = mmap(nullptr, static_cast<size_t>(status.st_size), PROT_READ,
                      MAP_PRIVATE | MAP_POPULATE, fd, 0);
    int error = errno;
    close(fd);
    if (view == MAP_FAILED)
        throw unreadable(path, std::strerror(error));
    remember_mapped(path);
    data_ = static_cast<const unsigned char*>(view);
    size_ = static_cast<size_t>(status.st_size);
}

MappedFile::~MappedFile() {
    if (data_ != nullptr)
        munmap(const_cast<unsigned char*>(data_), size_);
}

#endif

} // namespace qarvel
