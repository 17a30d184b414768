// Another process that holds a cache folder's lock, taken with the
// launcher's own code, as a launch that writes holds it:
//   lock_holder.exe FOLDER MARKER RELEASE [SOURCE ENTRY]
// With SOURCE, writes the first half of SOURCE's bytes to FOLDER\ENTRY, as a
// first launch writes a new file in place. Then creates MARKER, holds the
// lock until the file RELEASE exists, writes the rest, releases the lock
// and exits with 0. Killed while it holds, it leaves ENTRY half-written.
#include "launcher/launcher_state.h"
#include "payload/cache_lock.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <windows.h>

static std::string read_all(const wchar_t* path) {
    std::string bytes;
    FILE* in = _wfopen(path, L"rb");
    if (in == nullptr)
        return bytes;
    char chunk[65536];
    for (size_t got; (got = fread(chunk, 1, sizeof chunk, in)) > 0;)
        bytes.append(chunk, got);
    fclose(in);
    return bytes;
}

static void write_all(HANDLE file, const char* bytes, size_t count) {
    DWORD written = 0;
    if (count > 0 && !WriteFile(file, bytes, static_cast<DWORD>(count), &written, nullptr))
        exit(4);
}

int wmain(int argc, wchar_t** argv) {
    if (argc != 4 && argc != 6)
        return 64;
    DWORD full_length = GetFullPathNameW(argv[1], path_capacity_units, target_directory, nullptr);
    if (full_length == 0 || full_length >= path_capacity_units || !take_cache_lock())
        return 3;
    HANDLE entry = INVALID_HANDLE_VALUE;
    std::string bytes;
    size_t half = 0;
    if (argc == 6) {
        bytes = read_all(argv[4]);
        half = bytes.size() / 2;
        std::wstring entry_file = std::wstring(target_directory) + L"\\" + argv[5];
        entry = CreateFileW(entry_file.c_str(), GENERIC_WRITE, FILE_SHARE_DELETE, nullptr,
                            CREATE_ALWAYS, 0, nullptr);
        if (entry == INVALID_HANDLE_VALUE)
            return 4;
        write_all(entry, bytes.data(), half);
    }
    FILE* marker = _wfopen(argv[2], L"wb");
    if (marker == nullptr)
        return 5;
    fclose(marker);
    while (GetFileAttributesW(argv[3]) == INVALID_FILE_ATTRIBUTES)
        Sleep(50);
    if (entry != INVALID_HANDLE_VALUE) {
        write_all(entry, bytes.data() + half, bytes.size() - half);
        CloseHandle(entry);
    }
    release_cache_lock();
    return 0;
}
