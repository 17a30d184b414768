// Runs a benchmark plan in interleaved rounds from the Windows side, so that
// process start-up is timed without Wine's own loader in the figure.
//   bench_driver PLAN ROUNDS
// Each plan line is tab-separated: name, kind, expected exit code, what to do
// before each run and the command line. Before each run: "-" nothing,
// "remove FOLDER" removes the folder, "change FILE" rewrites the file with
// other bytes of the same size (its first content inverted). Kinds:
//   wall      the process's time from CreateProcessW to its end
//   reported  the microseconds the process prints on standard output
//   memory    its peak working set and peak committed memory, sampled
//             every millisecond (Wine reports only the current commit)
// Prints "name<TAB>value..." lines; round 0 warms the caches and is dropped.
#include "bench_common.h"

#include <windows.h>

// After windows.h, which it needs.
#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

namespace {

struct Case {
    std::string name;
    std::string kind;
    DWORD expected_exit_code = 0;
    std::wstring clear_folder;
    std::wstring changed_file;
    std::wstring command_line;
};

std::vector<std::string> split_tabs(const std::string& line) {
    std::vector<std::string> fields;
    size_t start = 0;
    for (size_t tab = line.find('\t'); tab != std::string::npos; tab = line.find('\t', start)) {
        fields.push_back(line.substr(start, tab - start));
        start = tab + 1;
    }
    fields.push_back(line.substr(start));
    return fields;
}

std::vector<Case> read_plan(const wchar_t* path) {
    std::ifstream in(path, std::ios::binary);
    std::vector<Case> plan;
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.empty() || line[0] == '#')
            continue;
        std::vector<std::string> fields = split_tabs(line);
        if (fields.size() != 5) {
            std::fprintf(stderr, "bench_driver: bad plan line: %s\n", line.c_str());
            std::exit(2);
        }
        Case c{fields[0], fields[1], static_cast<DWORD>(std::stoul(fields[2])),
               L"",       L"",       widen(fields[4])};
        const std::string& before = fields[3];
        if (before.rfind("remove ", 0) == 0)
            c.clear_folder = widen(before.substr(7));
        else if (before.rfind("change ", 0) == 0)
            c.changed_file = widen(before.substr(7));
        else if (before != "-") {
            std::fprintf(stderr, "bench_driver: bad step before a run: %s\n", before.c_str());
            std::exit(2);
        }
        plan.push_back(c);
    }
    return plan;
}

void remove_tree(const std::wstring& folder) {
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            std::wstring name = found.cFileName;
            if (name == L"." || name == L"..")
                continue;
            std::wstring path = folder + L"\\" + name;
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                remove_tree(path);
            else
                DeleteFileW(path.c_str());
        } while (FindNextFileW(search, &found));
        FindClose(search);
    }
    RemoveDirectoryW(folder.c_str());
}

std::string read_whole(const std::wstring& path) {
    std::ifstream in(path.c_str(), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The launch restores the file each time, so the bytes first read are the
// packed ones; their inverse differs in every byte and keeps the size.
void change_file(const std::wstring& path, std::map<std::wstring, std::string>& originals) {
    auto known = originals.find(path);
    if (known == originals.end())
        known = originals.emplace(path, read_whole(path)).first;
    std::string changed = known->second;
    if (changed.empty()) {
        std::fprintf(stderr, "bench_driver: the file to change is empty or missing\n");
        std::exit(1);
    }
    for (char& byte : changed)
        byte = static_cast<char>(~byte);
    std::ofstream out(path.c_str(), std::ios::binary | std::ios::trunc);
    out.write(changed.data(), static_cast<std::streamsize>(changed.size()));
    if (!out) {
        std::fprintf(stderr, "bench_driver: cannot change the file\n");
        std::exit(1);
    }
}

struct Run {
    double wall_us = 0;
    std::string output;
    SIZE_T peak_working_set = 0;
    SIZE_T peak_commit = 0;
};

Run run(const Case& c) {
    SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
    HANDLE null_device =
        CreateFileW(L"NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    &inheritable, OPEN_EXISTING, 0, nullptr);
    HANDLE read_end = nullptr;
    HANDLE write_end = nullptr;
    bool capture = c.kind == "reported";
    if (capture) {
        CreatePipe(&read_end, &write_end, &inheritable, 0);
        SetHandleInformation(read_end, HANDLE_FLAG_INHERIT, 0);
    }
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = null_device;
    startup.hStdOutput = capture ? write_end : null_device;
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    std::wstring command_line = c.command_line;
    PROCESS_INFORMATION process{};

    Run result;
    double start = now_us();
    // Wine now and then refuses a start with an internal error; one more
    // try after a pause gets through.
    bool started = CreateProcessW(nullptr, command_line.data(), nullptr, nullptr, TRUE,
                                  NORMAL_PRIORITY_CLASS, nullptr, nullptr, &startup, &process);
    if (!started) {
        Sleep(200);
        start = now_us();
        started = CreateProcessW(nullptr, command_line.data(), nullptr, nullptr, TRUE,
                                 NORMAL_PRIORITY_CLASS, nullptr, nullptr, &startup, &process);
    }
    if (!started) {
        std::fprintf(stderr, "bench_driver: %s: cannot start (error %lu)\n", c.name.c_str(),
                     GetLastError());
        std::exit(1);
    }
    if (capture) {
        CloseHandle(write_end);
        char chunk[256];
        DWORD got = 0;
        while (ReadFile(read_end, chunk, sizeof chunk, &got, nullptr) && got > 0)
            result.output.append(chunk, got);
        CloseHandle(read_end);
    }
    if (c.kind == "memory") {
        for (;;) {
            PROCESS_MEMORY_COUNTERS counters{};
            if (GetProcessMemoryInfo(process.hProcess, &counters, sizeof counters)) {
                result.peak_working_set =
                    std::max(result.peak_working_set, counters.PeakWorkingSetSize);
                result.peak_commit = std::max(result.peak_commit, counters.PeakPagefileUsage);
            }
            if (WaitForSingleObject(process.hProcess, 1) != WAIT_TIMEOUT)
                break;
        }
    } else {
        WaitForSingleObject(process.hProcess, INFINITE);
    }
    result.wall_us = now_us() - start;

    DWORD exit_code = 0;
    GetExitCodeProcess(process.hProcess, &exit_code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    CloseHandle(null_device);
    if (exit_code != c.expected_exit_code) {
        std::fprintf(stderr, "bench_driver: %s: exit code %lu, expected %lu\n", c.name.c_str(),
                     exit_code, c.expected_exit_code);
        std::exit(1);
    }
    return result;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: bench_driver PLAN ROUNDS\n");
        return 2;
    }
    std::vector<Case> plan = read_plan(argv[1]);
    int rounds = std::stoi(argv[2]);
    std::map<std::wstring, std::string> originals;
    for (int round = 0; round <= rounds; ++round) {
        // Each round starts one case further on, so no case always follows
        // the same one.
        for (size_t step = 0; step < plan.size(); ++step) {
            const Case& c = plan[(step + static_cast<size_t>(round)) % plan.size()];
            if (!c.clear_folder.empty())
                remove_tree(c.clear_folder);
            if (!c.changed_file.empty())
                change_file(c.changed_file, originals);
            Run result = run(c);
            if (round == 0)
                continue;
            if (c.kind == "wall")
                std::printf("%s\t%.0f\n", c.name.c_str(), result.wall_us);
            else if (c.kind == "reported")
                std::printf("%s\t%s\n", c.name.c_str(),
                            result.output.substr(0, result.output.find_first_of("\r\n")).c_str());
            else
                std::printf("%s\t%zu\t%zu\n", c.name.c_str(),
                            static_cast<size_t>(result.peak_working_set),
                            static_cast<size_t>(result.peak_commit));
            std::fflush(stdout);
        }
    }
    return 0;
}
