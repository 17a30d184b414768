#pragma once

#include <functional>
#include <string>
#include <utility>
#include <vector>
#include <windows.h>

namespace qarvel_test {

struct ProcessResult {
    DWORD exit_code = 0;
    DWORD process_id = 0;
    std::string out; // standard output, as bytes
    std::string err; // standard error, as bytes
    bool timed_out = false;
};

struct RunOptions {
    std::wstring directory;                                         // empty: this process's
    std::vector<std::pair<std::wstring, std::wstring>> environment; // set; an empty value removes
    std::string input;                                              // standard input
    DWORD timeout_ms = 120000;
    bool standard_handles = true;    // false: none at all (no STARTF_USESTDHANDLES)
    int show_window = -1;            // >= 0: STARTF_USESHOWWINDOW with this value
    std::wstring desktop = L"";      // "station\\desktop"; empty: this process's
    HANDLE standard_error = nullptr; // an inheritable handle in place of the error pipe
};

// Starts application with command_line (its first argument included) and
// waits for it, collecting both output channels and the full exit code.
ProcessResult run_process(const std::wstring& application, const std::wstring& command_line,
                          const RunOptions& options = {});

// The same, calling while_running with the process's id once it runs and
// before waiting for its end.
ProcessResult run_process(const std::wstring& application, const std::wstring& command_line,
                          const RunOptions& options,
                          const std::function<void(DWORD process_id)>& while_running);

std::string to_utf8(const std::wstring& text);

// The system's English text for an error code, without its line break, as
// the launcher prints it.
std::string system_text(DWORD code);
std::wstring from_utf8(const std::string& text);

} // namespace qarvel_test
