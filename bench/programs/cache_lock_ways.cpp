// The cost of taking and releasing a cache folder's lock, the launcher's way
// and the earlier one, which a launch pays once when it has files to write:
//   cache_lock_ways file|mutex FOLDER
// "file" is the launcher's own code (a lock file in FOLDER, locked with
// LockFileEx, deleted on close); "mutex" is the named mutex of the session
// that launchers used before, named after the folder as they named it.
// Prints the microseconds of one take and release, the mean of many.
#include "bench_common.h"
#include "launcher/launcher_state.h"
#include "payload/cache_lock.h"

#include <cstdio>
#include <cwctype>
#include <string>
#include <zlib.h>

constexpr int cycles = 200;

// The earlier lock's name: two checksums of the folder's text, ASCII
// letters folded.
static std::wstring mutex_name(const wchar_t* folder) {
    uLong crc = crc32(0L, Z_NULL, 0);
    uLong adler = adler32(0L, Z_NULL, 0);
    for (; *folder != 0; ++folder) {
        auto unit = static_cast<wchar_t>(towupper(static_cast<wint_t>(*folder)));
        const Bytef bytes[2] = {static_cast<Bytef>(unit & 0xFF), static_cast<Bytef>(unit >> 8)};
        crc = crc32(crc, bytes, 2);
        adler = adler32(adler, bytes, 2);
    }
    wchar_t name[64];
    swprintf(name, 64, L"Local\\qarvel-cache-%08lx%08lx", crc, adler);
    return name;
}

static double mutex_cycle_us(const wchar_t* folder) {
    std::wstring name = mutex_name(folder);
    double start = now_us();
    for (int i = 0; i < cycles; ++i) {
        HANDLE mutex = CreateMutexW(nullptr, FALSE, name.c_str());
        WaitForSingleObject(mutex, INFINITE);
        ReleaseMutex(mutex);
        CloseHandle(mutex);
    }
    return (now_us() - start) / cycles;
}

static double file_cycle_us(const wchar_t* folder) {
    DWORD units = GetFullPathNameW(folder, path_capacity_units, target_directory, nullptr);
    if (units == 0 || units >= path_capacity_units)
        return -1;
    double start = now_us();
    for (int i = 0; i < cycles; ++i) {
        if (!take_cache_lock())
            return -1;
        release_cache_lock();
    }
    return (now_us() - start) / cycles;
}

int wmain(int argc, wchar_t** argv) {
    std::wstring way = argc == 3 ? argv[1] : L"";
    double cycle_us = way == L"file"    ? file_cycle_us(argv[2])
                      : way == L"mutex" ? mutex_cycle_us(argv[2])
                                        : -2;
    if (cycle_us == -2) {
        std::fprintf(stderr, "usage: cache_lock_ways file|mutex FOLDER\n");
        return 2;
    }
    if (cycle_us < 0) {
        std::fprintf(stderr, "cache_lock_ways: no lock in the folder (error %lu)\n",
                     GetLastError());
        return 1;
    }
    std::printf("%.0f\n", cycle_us);
    return 0;
}
