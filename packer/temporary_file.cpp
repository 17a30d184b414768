#include "packer/temporary_file.h"

#include "packer/host_files.h"

#include <list>
#include <mutex>
#include <stdexcept>
#include <string>

#ifdef _WIN32
#include <windows.h>
#else
#include <csignal>
#include <pthread.h>
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

unsigned long process_id() {
    return GetCurrentProcessId();
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

bool replace_file(const fs::path& from, const fs::path& to, std::string& reason) {
    if (MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING))
        return true;
    reason = system_message(GetLastError());
    return false;
}

#else

unsigned long process_id() {
    return static_cast<unsigned long>(::getpid());
}

bool replace_file(const fs::path& from, const fs::path& to, std::string& reason) {
    std::error_code error;
    fs::rename(from, to, error);
    if (error)
        reason = error.message();
    return !error;
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
    : shown_name_(final_path.u8string()), final_path_(long_path(final_path)),
      path_(fs::path(final_path_) += ".partial-" + std::to_string(process_id())) {
    std::lock_guard<std::mutex> hold(temporaries_lock);
    temporaries.push_back(path_);
    registered_ = true;
}

TemporaryFile::~TemporaryFile() {
    std::lock_guard<std::mutex> hold(temporaries_lock);
    if (!registered_)
        return;
    std::error_code ignored;
    fs::remove(path_, ignored);
    forget(path_);
}

void TemporaryFile::put_in_place() {
    std::lock_guard<std::mutex> hold(temporaries_lock);
    std::string reason;
    if (!replace_file(path_, final_path_, reason))
        throw std::runtime_error("cannot put " + shown_name_ + " in place: " + reason);
    forget(path_);
    registered_ = false;
}

} // namespace qarvel
