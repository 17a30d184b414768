#include "payload/cache_lock.h"

#include "launcher/bounded_copy.h"
#include "launcher/failure.h"
#include "launcher/launcher_state.h"
#include "paths/directories.h"
#include "paths/protected_target.h"
#include "payload/cache_file_names.h"

#include <windows.h>

static HANDLE cache_lock = INVALID_HANDLE_VALUE;
static bool cache_lock_unavailable = false;
static wchar_t lock_path[path_capacity_units];

// Shared for everything, so that every launch of the folder can wait on the
// same file; write and delete access, so that only a process that may
// change the folder can open it at all. The file stays between launches:
// whoever may list the folder may open it for its attributes alone ("File
// Security and Access Rights": FILE_READ_ATTRIBUTES follows from
// FILE_LIST_DIRECTORY on the parent), and such a handle would keep a file
// deleted on close pending deletion, refusing every later launch's open,
// for as long as it is held. Refused or not creatable, the launch goes on
// without the lock: its writes meet the same refusal and end with their
// own message.
static HANDLE open_lock_file() {
    return CreateFileW(lock_path, GENERIC_READ | GENERIC_WRITE | DELETE,
                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                       created_lock_file_security(), OPEN_ALWAYS, FILE_ATTRIBUTE_HIDDEN, nullptr);
}

bool take_cache_lock() {
    if (cache_lock != INVALID_HANDLE_VALUE || cache_lock_unavailable)
        return false;
    copy_bounded(lock_path, path_capacity_units, target_directory);
    append_bounded(lock_path, path_capacity_units, L"\\");
    // wchar_t is UTF-16 on Windows, as the format's names are.
    append_bounded(lock_path, path_capacity_units,
                   reinterpret_cast<const wchar_t*>(lock_file_name));
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
