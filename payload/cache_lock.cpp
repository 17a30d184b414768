#include "payload/cache_lock.h"

#include "launcher/launcher_state.h"

#include <cwctype>
#include <windows.h>
#include <zlib.h>

static HANDLE cache_lock = nullptr;
static bool cache_lock_held = false;
static bool cache_lock_unavailable = false;

// Mutex names are limited to MAX_PATH units and may not hold a backslash
// after the namespace, so the name carries two checksums of the target
// directory rather than the directory itself. Letters are folded to upper
// case and a "\\?\" prefix is dropped, so that the usual spellings of one
// folder share one lock. Folders that happen to share a name only wait for
// each other now and then.
static void make_lock_name(wchar_t* name) {
    const wchar_t* directory = target_directory;
    if (wcsncmp(directory, L"\\\\?\\", 4) == 0)
        directory += 4;
    uLong crc = crc32(0L, Z_NULL, 0);
    uLong adler = adler32(0L, Z_NULL, 0);
    for (; *directory != 0; ++directory) {
        auto unit = static_cast<wchar_t>(towupper(static_cast<wint_t>(*directory)));
        const Bytef bytes[2] = {static_cast<Bytef>(unit & 0xFF), static_cast<Bytef>(unit >> 8)};
        crc = crc32(crc, bytes, 2);
        adler = adler32(adler, bytes, 2);
    }
    const wchar_t prefix[] = L"Local\\qarvel-cache-";
    size_t length = 0;
    for (; prefix[length] != 0; ++length)
        name[length] = prefix[length];
    const wchar_t digits[] = L"0123456789abcdef";
    for (int shift = 28; shift >= 0; shift -= 4)
        name[length++] = digits[(crc >> shift) & 0xF];
    for (int shift = 28; shift >= 0; shift -= 4)
        name[length++] = digits[(adler >> shift) & 0xF];
    name[length] = 0;
}

bool take_cache_lock() {
    if (cache_lock_held || cache_lock_unavailable)
        return false;
    if (cache_lock == nullptr) {
        wchar_t name[64];
        make_lock_name(name);
        cache_lock = CreateMutexW(nullptr, FALSE, name);
    }
    // An abandoned lock is owned all the same: its holder ended, and what
    // it left half-done is found differing and written again.
    DWORD result = cache_lock == nullptr ? WAIT_FAILED : WaitForSingleObject(cache_lock, INFINITE);
    cache_lock_held = result == WAIT_OBJECT_0 || result == WAIT_ABANDONED;
    cache_lock_unavailable = !cache_lock_held;
    return cache_lock_held;
}

void release_cache_lock() {
    if (cache_lock_held)
        ReleaseMutex(cache_lock);
    cache_lock_held = false;
}
