#include "packer/temporary_file.h"

#include <csignal>
#include <cstring>
#include <list>
#include <mutex>
#include <pthread.h>
#include <stdexcept>
#include <string>
#include <thread>
#include <unistd.h>

namespace fs = std::filesystem;

namespace qarvel {
namespace {

// The temporary files that exist now. Renames and removals happen under the
// lock too, so the interruption never removes a file that has just become
// final, and never misses one that is about to.
std::mutex temporaries_lock;
std::list<fs::path> temporaries;

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

void forget(const fs::path& path) {
    for (auto it = temporaries.begin(); it != temporaries.end(); ++it)
        if (*it == path) {
            temporaries.erase(it);
            return;
        }
}

} // namespace

void remove_temporary_files_on_interrupt() {
    sigset_t signals = interruption_signals();
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    std::thread(wait_for_interruption, signals).detach();
}

TemporaryFile::TemporaryFile(fs::path final_path)
    : final_path_(std::move(final_path)),
      path_(final_path_.string() + ".partial-" + std::to_string(::getpid())) {
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
    std::error_code error;
    fs::rename(path_, final_path_, error);
    if (error)
        throw std::runtime_error("cannot put " + final_path_.string() +
                                 " in place: " + error.message());
    forget(path_);
    registered_ = false;
}

} // namespace qarvel
