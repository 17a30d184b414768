#include "payload/cache_lock.h"

#include "launcher/bounded_copy.h"
#include "launcher/failure.h"
#include "launcher/launcher_state.h"
#include "paths/directories.h"
#include "paths/protected_target.h"
#include "payload/payload_format.h"

#include <windows.h>

static HANDLE cache_lock = INVALID_HANDLE_VALUE;
static bool cache_lock_unavailable = false;
static wchar_t lock_path[path_capacity_units];

// Polling is needed only while Windows deletes a released lock file that
// waiting launches still hold open (see open_lock_file).
constexpr DWORD delete_pending_poll_ms = 20;

// Shared for everything, so that every launch of the folder can wait on the
// same file; write and delete access, so that only a process that may
// change the folder can open it at all. Deleted when its last handle
// closes, except in a protected folder: there whoever may list the folder
// may open the file for its attributes alone ("File Security and Access
// Rights": FILE_READ_ATTRIBUTES follows from FILE_LIST_DIRECTORY on the
// parent), and such a handle would keep the file pending deletion, and
// every later launch waiting, for as long as it is held.
static HANDLE open_lock_file_once() {
    SECURITY_ATTRIBUTES* protected_lock = created_lock_file_security();
    return CreateFileW(
        lock_path, GENERIC_READ | GENERIC_WRITE | DELETE,
        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, protected_lock, OPEN_ALWAYS,
        FILE_ATTRIBUTE_HIDDEN | (protected_lock != nullptr ? 0 : FILE_FLAG_DELETE_ON_CLOSE),
        nullptr);
}

// True when lock_path names a file that this process may see but not take:
// it opens for its attributes alone. A file being deleted opens for nothing
// ("CreateFile": a file marked for deletion refuses every new open with
// access denied until its last handle is closed).
static bool lock_file_exists_but_refused() {
    HANDLE file = CreateFileW(lock_path, FILE_READ_ATTRIBUTES,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    CloseHandle(file);
    return true;
}

// The lock file, or INVALID_HANDLE_VALUE when this launch may not take it.
// A released lock file that other launches still hold open is marked for
// deletion on Windows and refuses new opens until they close it; that
// passes, and is waited out. A folder that cannot be made, a file that can
// be seen but not opened for writing, or a folder where no file may be
// created, does not pass: the launch goes on without the lock, and its
// writes meet the same refusal and end with their own message.
static HANDLE open_lock_file() {
    bool missing_before = false;
    for (;;) {
        HANDLE file = open_lock_file_once();
        if (file != INVALID_HANDLE_VALUE)
            return file;
        if (GetLastError() != ERROR_ACCESS_DENIED)
            return INVALID_HANDLE_VALUE;
        if (lock_file_exists_but_refused())
            return INVALID_HANDLE_VALUE;
        DWORD probe_error = GetLastError();
        if (probe_error == ERROR_FILE_NOT_FOUND) {
            // Gone between the two opens, or never there and not creatable.
            if (missing_before)
                return INVALID_HANDLE_VALUE;
            missing_before = true;
            continue;
        }
        if (probe_error != ERROR_ACCESS_DENIED)
            return INVALID_HANDLE_VALUE;
        missing_before = false;
        Sleep(delete_pending_poll_ms);
    }
}

bool take_cache_lock() {
    if (cache_lock != INVALID_HANDLE_VALUE || cache_lock_unavailable)
        return false;
    copy_bounded(lock_path, path_capacity_units, target_directory);
    append_bounded(lock_path, path_capacity_units, L"\\");
    // wchar_t is UTF-16 on Windows, as the format's names are.
    append_bounded(lock_path, path_capacity_units,
                   reinterpret_cast<const wchar_t*>(payload_format::lock_file_name));
    // The lock lives in the target directory, which a first launch makes.
    ensure_parent_directories(lock_path);
    HANDLE file = open_lock_file();
    // The wait has no limit: a holder writes, then releases, or ends and so
    // releases ("LockFileEx": the system unlocks what an ending process
    // held).
    OVERLAPPED whole_lock = {};
    if (file != INVALID_HANDLE_VALUE &&
        !LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &whole_lock)) {
        CloseHandle(file);
        file = INVALID_HANDLE_VALUE;
    }
    cache_lock = file;
    cache_lock_unavailable = file == INVALID_HANDLE_VALUE;
    if (!cache_lock_unavailable)
        set_failure_cleanup(release_cache_lock);
    return !cache_lock_unavailable;
}

void release_cache_lock() {
    if (cache_lock == INVALID_HANDLE_VALUE)
        return;
    OVERLAPPED whole_lock = {};
    UnlockFileEx(cache_lock, 0, 1, 0, &whole_lock);
    CloseHandle(cache_lock);
    cache_lock = INVALID_HANDLE_VALUE;
}
