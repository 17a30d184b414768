// The child-start floor: start one program the way the launcher starts its
// child (inherited handles, own directory and environment) and wait for it.
#include <windows.h>

int wmain(int argc, wchar_t** argv) {
    if (argc != 2)
        return 100;
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    wchar_t command_line[4096];
    lstrcpynW(command_line, argv[1], 4096);
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(argv[1], command_line, nullptr, nullptr, TRUE, NORMAL_PRIORITY_CLASS,
                        nullptr, nullptr, &startup, &process))
        return 101;
    CloseHandle(process.hThread);
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD exit_code = 1;
    GetExitCodeProcess(process.hProcess, &exit_code);
    CloseHandle(process.hProcess);
    return static_cast<int>(exit_code);
}
