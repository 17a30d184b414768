// The tests' child: reports what it received, one "key=value" line each, in
// UTF-8, then behaves as its environment asks.
//   ECHO_CHILD_EXIT_CODE  exit code to end with (decimal or 0x hex)
//   ECHO_CHILD_SLEEP_MS   sleep this long before exiting
//   ECHO_CHILD_REPORT     write the report to this file instead of stdout
//   ECHO_CHILD_LIST_FILES report "file=NAME SIZE HASH" for every file below
//                         the child's own folder, as it reads them now
#include <cstdio>
#include <cstdlib>
#include <string>
#include <windows.h>

static std::string utf8(const wchar_t* text) {
    int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(size > 0 ? size - 1 : 0), '\0');
    if (size > 1)
        WideCharToMultiByte(CP_UTF8, 0, text, -1, out.data(), size, nullptr, nullptr);
    return out;
}

static std::wstring variable(const wchar_t* name) {
    wchar_t value[32768];
    DWORD length = GetEnvironmentVariableW(name, value, 32768);
    return length > 0 && length < 32768 ? std::wstring(value, length) : std::wstring();
}

// FNV-1a over a file's bytes; size and hash, or "unreadable".
static std::string file_digest(const std::wstring& path) {
    FILE* in = _wfopen(path.c_str(), L"rb");
    if (in == nullptr)
        return "unreadable";
    unsigned long long hash = 0xcbf29ce484222325ull, size = 0;
    unsigned char chunk[65536];
    for (size_t got; (got = fread(chunk, 1, sizeof chunk, in)) > 0; size += got)
        for (size_t i = 0; i < got; ++i)
            hash = (hash ^ chunk[i]) * 0x100000001b3ull;
    fclose(in);
    char text[64];
    snprintf(text, sizeof text, "%llu %016llx", size, hash);
    return text;
}

static void list_files(const std::wstring& folder, const std::wstring& prefix,
                       std::string& report) {
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return;
    do {
        std::wstring name = found.cFileName;
        if (name == L"." || name == L"..")
            continue;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            list_files(folder + L"\\" + name, prefix + name + L"/", report);
        else
            report += "file=" + utf8((prefix + name).c_str()) + " " +
                      file_digest(folder + L"\\" + name) + "\n";
    } while (FindNextFileW(search, &found));
    FindClose(search);
}

int wmain(int argc, wchar_t** argv) {
    std::string report;
    report += "command_line=" + utf8(GetCommandLineW()) + "\n";
    report += "argc=" + std::to_string(argc) + "\n";
    for (int i = 0; i < argc; ++i)
        report += "arg=" + utf8(argv[i]) + "\n";
    wchar_t directory[4096];
    GetCurrentDirectoryW(4096, directory);
    report += "cwd=" + utf8(directory) + "\n";
    wchar_t module[4096];
    GetModuleFileNameW(nullptr, module, 4096);
    report += "exe=" + utf8(module) + "\n";
    wchar_t* block = GetEnvironmentStringsW();
    for (const wchar_t* entry = block; *entry != 0; entry += wcslen(entry) + 1)
        report += "env=" + utf8(entry) + "\n";
    FreeEnvironmentStringsW(block);
    if (!variable(L"ECHO_CHILD_LIST_FILES").empty()) {
        std::wstring folder = module;
        list_files(folder.substr(0, folder.find_last_of(L'\\')), L"", report);
    }

    std::wstring report_path = variable(L"ECHO_CHILD_REPORT");
    if (!report_path.empty()) {
        FILE* out = _wfopen(report_path.c_str(), L"wb");
        if (out != nullptr) {
            fwrite(report.data(), 1, report.size(), out);
            fclose(out);
        }
    } else {
        fwrite(report.data(), 1, report.size(), stdout);
        fflush(stdout);
    }
    fputs("echo_child stderr\n", stderr);

    std::wstring sleep_ms = variable(L"ECHO_CHILD_SLEEP_MS");
    if (!sleep_ms.empty())
        Sleep(static_cast<DWORD>(wcstoul(sleep_ms.c_str(), nullptr, 10)));
    std::wstring exit_code = variable(L"ECHO_CHILD_EXIT_CODE");
    return exit_code.empty() ? 0 : static_cast<int>(wcstoul(exit_code.c_str(), nullptr, 0));
}
