#include "packer/files/temporary_file.h"

#include "packer/files/host_files.h"
#include "packer/refusal.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ext/stdio_filebuf.h>
#include <list>
#include <mutex>
#include <stdexcept>
#include <string>

#ifdef _WIN32
#include <windows.h>
// After windows.h, which it needs.
#include <bcrypt.h>
#include <fcntl.h>
#include <io.h>
#else
#include <csignal>
#include <fcntl.h>
#include <pthread.h>
#include <sys/random.h>
#include <thread>
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace qarvel {
namespace {

// The temporary files that exist now. Renames and removals happen under the
// lock too, so the interruption never removes a file that has just become
// final, and never misses one that is about to.
std::mutex temporaries_lock;
std::list<fs::path> temporaries;

void forget(const fs::path& path) {
    for (auto it = temporaries.begin(); it != temporaries.end(); ++it)
        if (*it == path) {
            temporaries.erase(it);
            return;
        }
}

#ifdef _WIN32

bool random_bytes(unsigned char* bytes, size_t size) {
    return BCRYPT_SUCCESS(
        BCryptGenRandom(nullptr, bytes, static_cast<ULONG>(size), BCRYPT_USE_SYSTEM_PREFERRED_RNG));
}

// Runs on a thread of its own for Ctrl+C, Ctrl+Break, closing the console,
// logging off and shutting down ("HandlerRoutine callback function").
BOOL WINAPI on_console_event(DWORD event) {
    (void)event;
    // Held until the end: no file becomes final or temporary after this.
    temporaries_lock.lock();
    for (const auto& path : temporaries)
        DeleteFileW(path.c_str());
    // The exit code the default handler gives, so the caller sees Ctrl+C.
    ExitProcess(static_cast<UINT>(STATUS_CONTROL_C_EXIT));
}

// CREATE_NEW fails on any name that exists, a link's too, and the flag
// keeps a link from being followed ("CreateFileW").
int create_new_file(const OpenFolder& folder, const fs::path& name, std::string& reason,
                    bool& name_taken) {
    HANDLE file = CreateFileW((folder.path() / name).c_str(), GENERIC_WRITE,
                              FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        DWORD error = GetLastError();
        name_taken = error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS;
        reason = system_message(error);
        return -1;
    }
    int descriptor = _open_osfhandle(reinterpret_cast<intptr_t>(file), _O_WRONLY | _O_BINARY);
    if (descriptor < 0) {
        CloseHandle(file);
        reason = "no file descriptor is free";
    }
    return descriptor;
}

bool replace_file(const OpenFolder& folder, const fs::path& from, const fs::path& to,
                  std::string& reason) {
    if (MoveFileExW((folder.path() / from).c_str(), (folder.path() / to).c_str(),
                    MOVEFILE_REPLACE_EXISTING))
        return true;
    reason = system_message(GetLastError());
    return false;
}

void remove_file(const OpenFolder& folder, const fs::path& name) {
    DeleteFileW((folder.path() / name).c_str());
}

#else

bool random_bytes(unsigned char* bytes, size_t size) {
    return ::getrandom(bytes, size, 0) == static_cast<ssize_t>(size);
}

// Made new in the folder itself: O_EXCL fails on any name that exists, a
// dangling link's too, and O_NOFOLLOW on a link at the name.
int create_new_file(const OpenFolder& folder, const fs::path& name, std::string& reason,
                    bool& name_taken) {
    int descriptor = ::openat(folder.descriptor(), name.c_str(),
                              O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (descriptor < 0) {
        name_taken = errno == EEXIST;
        reason = std::strerror(errno);
    }
    return descriptor;
}

bool replace_file(const OpenFolder& folder, const fs::path& from, const fs::path& to,
                  std::string& reason) {
    if (::renameat(folder.descriptor(), from.c_str(), folder.descriptor(), to.c_str()) == 0)
        return true;
    reason = std::strerror(errno);
    return false;
}

void remove_file(const OpenFolder& folder, const fs::path& name) {
    ::unlinkat(folder.descriptor(), name.c_str(), 0);
}

sigset_t interruption_signals() {
    sigset_t signals;
    sigemptyset(&signals);
    for (int signal_number : {SIGINT, SIGTERM, SIGHUP})
        sigaddset(&signals, signal_number);
    return signals;
}

[[noreturn]] void wait_for_interruption(sigset_t signals) {
    int signal_number = 0;
    while (sigwait(&signals, &signal_number) != 0) {
    }
    // Held until the end: no file becomes final or temporary after this.
    temporaries_lock.lock();
    for (const auto& path : temporaries)
        ::unlink(path.c_str());
    // End as the signal would have, so the caller sees which one it was.
    std::signal(signal_number, SIG_DFL);
    sigset_t only;
    sigemptyset(&only);
    sigaddset(&only, signal_number);
    pthread_sigmask(SIG_UNBLOCK, &only, nullptr);
    std::raise(signal_number);
    _exit(128 + signal_number);
}

#endif

// 16 hex digits from the system's random source: a name nobody else can
// make ready in advance.
std::string random_suffix() {
    unsigned char bytes[8];
    if (!random_bytes(bytes, sizeof bytes))
        throw Refusal("the system gave no random bytes for a temporary file's name");
    std::string suffix;
    for (unsigned char byte : bytes) {
        char digits[3];
        std::snprintf(digits, sizeof digits, "%02x", byte);
        suffix += digits;
    }
    return suffix;
}

fs::path folder_of(const fs::path& final_path) {
    return final_path.has_parent_path() ? final_path.parent_path() : fs::path(".");
}

} // namespace

void remove_temporary_files_at_once() {
    if (!temporaries_lock.try_lock())
        return;
    for (const auto& path : temporaries)
#ifdef _WIN32
        DeleteFileW(path.c_str());
#else
        ::unlink(path.c_str());
#endif
    temporaries_lock.unlock();
}

void remove_temporary_files_on_interrupt() {
#ifdef _WIN32
    SetConsoleCtrlHandler(on_console_event, TRUE);
#else
    sigset_t signals = interruption_signals();
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    std::thread(wait_for_interruption, signals).detach();
#endif
}

TemporaryFile::TemporaryFile(const fs::path& final_path)
    : shown_name_(final_path.u8string()),
      folder_(folder_of(final_path), "cannot write " + shown_name_),
      final_name_(final_path.filename()) {
    create();
}

TemporaryFile::TemporaryFile(const OpenFolder& folder, const fs::path& name)
    : shown_name_((folder.shown() / name).u8string()), folder_(folder.below({})),
      final_name_(name) {
    create();
}

void TemporaryFile::create() {
    // A name that stands already is no one's to open: take another.
    for (int attempt = 0;; ++attempt) {
        temporary_name_ = fs::path(final_name_) += ".partial-" + random_suffix();
        path_ = folder_.path() / temporary_name_;
        std::lock_guard<std::mutex> hold(temporaries_lock);
        std::string reason;
        bool name_taken = false;
        int descriptor = create_new_file(folder_, temporary_name_, reason, name_taken);
        if (descriptor < 0) {
            if (name_taken && attempt < 8)
                continue;
            throw Refusal("cannot write " + shown_name_ + ": " + reason);
        }
        // Owns the descriptor from here on, and closes it.
        buffer_ = std::make_unique<__gnu_cxx::stdio_filebuf<char>>(
            descriptor, std::ios::out | std::ios::binary);
        stream_.rdbuf(buffer_.get());
        temporaries.push_back(path_);
        registered_ = true;
        return;
    }
}

TemporaryFile::~TemporaryFile() {
    buffer_.reset();
    std::lock_guard<std::mutex> hold(temporaries_lock);
    if (!registered_)
        return;
    remove_file(folder_, temporary_name_);
    forget(path_);
}

void TemporaryFile::close() {
    if (!buffer_)
        return;
    stream_.flush();
    auto* file = static_cast<__gnu_cxx::stdio_filebuf<char>*>(buffer_.get());
    bool closed = file->close() != nullptr;
    int error = errno;
    bool written = static_cast<bool>(stream_);
    stream_.rdbuf(nullptr);
    buffer_.reset();
    if (!written || !closed)
        throw Refusal("cannot write " + shown_name_ + ": " + std::strerror(error));
}

void TemporaryFile::put_in_place() {
    close();
    std::lock_guard<std::mutex> hold(temporaries_lock);
    std::string reason;
    if (!replace_file(folder_, temporary_name_, final_name_, reason))
        throw Refusal("cannot put " + shown_name_ + " in place: " + reason);
    forget(path_);
    registered_ = false;
}

} // namespace qarvel
