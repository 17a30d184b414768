// What anyone who may list a cache folder can do to its lock file, and how
// the file looks from outside:
//   lock_file_probe.exe hold FILE MARKER RELEASE
//     opens FILE for its attributes alone, sharing everything, as an indexer
//     or a backup agent may; creates MARKER, keeps the handle until the file
//     RELEASE exists, then closes it and exits with 0 (6 after two minutes
//     without RELEASE, so that a test that never releases it still ends);
//   lock_file_probe.exe show FILE
//     prints "hidden size=N", "visible size=N", "missing", or "refused
//     error=N" (a file pending deletion on Windows), through no handle of
//     its own.
#include <cstdio>
#include <cwchar>
#include <windows.h>

static int hold(const wchar_t* file, const wchar_t* marker, const wchar_t* release) {
    HANDLE handle = CreateFileW(file, FILE_READ_ATTRIBUTES,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        fprintf(stderr, "lock_file_probe: cannot open the file: error %lu\n", GetLastError());
        return 3;
    }
    FILE* created = _wfopen(marker, L"wb");
    if (created == nullptr)
        return 5;
    fclose(created);
    for (int waited_ms = 0; GetFileAttributesW(release) == INVALID_FILE_ATTRIBUTES;
         waited_ms += 50) {
        if (waited_ms >= 120000)
            return 6;
        Sleep(50);
    }
    CloseHandle(handle);
    return 0;
}

static int show(const wchar_t* file) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(file, GetFileExInfoStandard, &data)) {
        DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND)
            printf("missing\n");
        else
            printf("refused error=%lu\n", error);
        return 0;
    }
    unsigned long long size =
        (static_cast<unsigned long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    printf("%s size=%llu\n", (data.dwFileAttributes & FILE_ATTRIBUTE_HIDDEN) ? "hidden" : "visible",
           size);
    return 0;
}

int wmain(int argc, wchar_t** argv) {
    if (argc == 5 && wcscmp(argv[1], L"hold") == 0)
        return hold(argv[2], argv[3], argv[4]);
    if (argc == 3 && wcscmp(argv[1], L"show") == 0)
        return show(argv[2]);
    return 64;
}
