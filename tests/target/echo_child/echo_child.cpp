// The tests' child: reports what it received, one "key=value" line each, in
// UTF-8 (command_line, argc, arg, cwd, exe, env, parent_pid, and from its
// start-up information show_window, a number or "none", and std_handles,
// "given" or "none"), then behaves as its environment asks.
//   ECHO_CHILD_EXIT_CODE   exit code to end with (decimal or 0x hex)
//   ECHO_CHILD_SLEEP_MS    sleep this long before exiting
//   ECHO_CHILD_REPORT      write the report to this file instead of stdout;
//                          "finished=CODE" is added after the sleep
//   ECHO_CHILD_READ_INPUT  report standard input, read to its end, as "input="
//   ECHO_CHILD_PARENT_MEMORY  also report the peak working set, in bytes, of
//                          the launcher named by QARVEL_ONEFILE_PARENT (it is
//                          waiting for this child, so its peak is final)
//   ECHO_CHILD_LIST_FILES  report "file=NAME SIZE HASH" for every file below
//                          the child's own folder, as it reads them now
//   ECHO_CHILD_CONSOLES    report "console=yes|no" and whether the
//                          parent has a console to attach to:
//                          "parent_console=attached" or "=error CODE"
// Built for the GUI subsystem too (echo_child_windowed), as a child that
// has no console of its own.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <windows.h>
// After windows.h, which it needs.
#include <tlhelp32.h>

#include <psapi.h>

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

static DWORD parent_process_id() {
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    DWORD parent = 0;
    for (BOOL more = Process32FirstW(snapshot, &entry); more;
         more = Process32NextW(snapshot, &entry)) {
        if (entry.th32ProcessID == GetCurrentProcessId())
            parent = entry.th32ParentProcessID;
    }
    CloseHandle(snapshot);
    return parent;
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
    report += "parent_pid=" + std::to_string(parent_process_id()) + "\n";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    GetStartupInfoW(&startup);
    report += "show_window=" +
              (startup.dwFlags & STARTF_USESHOWWINDOW ? std::to_string(startup.wShowWindow)
                                                      : std::string("none")) +
              "\n";
    report += std::string("std_handles=") +
              (startup.dwFlags & STARTF_USESTDHANDLES ? "given" : "none") + "\n";
    if (!variable(L"ECHO_CHILD_READ_INPUT").empty()) {
        std::string input;
        char buffer[4096];
        for (size_t got; (got = fread(buffer, 1, sizeof buffer, stdin)) > 0;)
            input.append(buffer, got);
        report += "input=" + input + "\n";
    }

    if (!variable(L"ECHO_CHILD_PARENT_MEMORY").empty()) {
        std::wstring parent_id = variable(L"QARVEL_ONEFILE_PARENT");
        HANDLE parent = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE,
                                    static_cast<DWORD>(wcstoul(parent_id.c_str(), nullptr, 10)));
        PROCESS_MEMORY_COUNTERS counters{};
        if (parent != nullptr && GetProcessMemoryInfo(parent, &counters, sizeof counters))
            report +=
                "parent_peak_working_set=" + std::to_string(counters.PeakWorkingSetSize) + "\n";
        if (parent != nullptr)
            CloseHandle(parent);
    }
    if (!variable(L"ECHO_CHILD_CONSOLES").empty()) {
        report += std::string("console=") + (GetConsoleWindow() != nullptr ? "yes" : "no") + "\n";
        // Wine hands its console to programs for the GUI subsystem too: let
        // go of it, so that attaching asks about the parent alone.
        FreeConsole();
        if (AttachConsole(ATTACH_PARENT_PROCESS)) {
            report += "parent_console=attached\n";
            FreeConsole();
        } else {
            report += "parent_console=error " + std::to_string(GetLastError()) + "\n";
        }
    }
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
    std::wstring exit_text = variable(L"ECHO_CHILD_EXIT_CODE");
    unsigned long exit_code = exit_text.empty() ? 0 : wcstoul(exit_text.c_str(), nullptr, 0);
    if (!report_path.empty()) {
        // Only a child that ran to its end leaves this line.
        FILE* out = _wfopen(report_path.c_str(), L"ab");
        if (out != nullptr) {
            fprintf(out, "finished=%lu\n", exit_code);
            fclose(out);
        }
    }
    return static_cast<int>(exit_code);
}
