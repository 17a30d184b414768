#include "packer/payload/thread_count.h"

#include <algorithm>
#include <cstdint>

#ifdef _WIN32
#include <windows.h>
#else
#include <sched.h>
#include <unistd.h>
#endif

namespace qarvel {
namespace {

// Read through system calls alone (sched_getaffinity, sysinfo behind
// sysconf), so that a root without /proc or /sys gives the same answer.
uint64_t physical_memory_bytes() {
#ifdef _WIN32
    MEMORYSTATUSEX status = {};
    status.dwLength = sizeof status;
    return GlobalMemoryStatusEx(&status) ? status.ullTotalPhys : 0;
#else
    long pages = sysconf(_SC_PHYS_PAGES), page_size = sysconf(_SC_PAGESIZE);
    return pages > 0 && page_size > 0 ? static_cast<uint64_t>(pages) * page_size : 0;
#endif
}

} // namespace

int usable_processors() {
#ifdef _WIN32
    DWORD_PTR process_mask = 0, system_mask = 0;
    if (!GetProcessAffinityMask(GetCurrentProcess(), &process_mask, &system_mask))
        return 1;
    int count = 0;
    for (; process_mask != 0; process_mask &= process_mask - 1)
        ++count;
    return std::max(count, 1);
#else
    cpu_set_t set;
    CPU_ZERO(&set);
    if (sched_getaffinity(0, sizeof set, &set) != 0)
        return 1;
    return std::max(CPU_COUNT(&set), 1);
#endif
}

int default_thread_count(const CompressionOptions& options) {
    // Each zstd worker holds a 32 MiB job in and out, and match tables of
    // about ten windows at the high levels.
    const uint64_t per_thread = (uint64_t{64} << 20) + (uint64_t{10} << options.window_log);
    uint64_t memory = physical_memory_bytes();
    int threads = std::min(usable_processors(), 256);
    if (memory != 0)
        threads = static_cast<int>(std::min<uint64_t>(threads, memory / 2 / per_thread));
    return std::max(threads, 1);
}

} // namespace qarvel
