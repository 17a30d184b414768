#include "child/supervision.h"

#include "child/command_line.h"
#include "child/fixed_arguments.h"
#include "launcher/failure.h"
#include "paths/environment.h"

constexpr DWORD child_grace_period_ms = 5000;
constexpr UINT child_termination_exit_code = 0;

// The child handle slot, shared with the console control handler's thread.
static HANDLE child_process;

// Guards the slot. The handler only borrows the handle: it holds the lock
// through its grace period and termination. The main thread alone closes
// the handle, under the lock and after emptying the slot, so whichever
// thread finishes last, the handle is closed exactly once and never while
// the handler still waits on it; a later event finds the slot empty.
static SRWLOCK child_lock = SRWLOCK_INIT;

static void clean_up_child() {
    AcquireSRWLockExclusive(&child_lock);
    HANDLE child = child_process;
    if (child != nullptr) {
        if (WaitForSingleObject(child, child_grace_period_ms) != WAIT_OBJECT_0)
            TerminateProcess(child, child_termination_exit_code);
    }
    ReleaseSRWLockExclusive(&child_lock);
}

BOOL WINAPI console_control_handler(DWORD event_type) {
    switch (event_type) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
        clean_up_child();
        break;
    default:
        break;
    }
    return FALSE;
}

// The child starts as the launcher was started: with its standard handles,
// and shown as it was asked to be shown (a shortcut's "Run: Minimized",
// "start /min"), which the system hands only to the first process.
static void fill_startup_information(STARTUPINFOW* startup) {
    STARTUPINFOW own{};
    own.cb = sizeof own;
    GetStartupInfoW(&own);
    startup->cb = sizeof *startup;
    if (own.dwFlags & STARTF_USESHOWWINDOW) {
        startup->dwFlags |= STARTF_USESHOWWINDOW;
        startup->wShowWindow = own.wShowWindow;
    }
    startup->hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup->hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
    startup->hStdError = GetStdHandle(STD_ERROR_HANDLE);
    // A launcher started without any standard handle (a windowed one from
    // Explorer) passes none: Windows 7 would hand a console child the null
    // handles as they are, leaving it no output even in its own console
    // ("STARTUPINFOW", hStdInput).
    if (startup->hStdInput != nullptr || startup->hStdOutput != nullptr ||
        startup->hStdError != nullptr)
        startup->dwFlags |= STARTF_USESTDHANDLES;
}

DWORD launch_child_and_wait(const wchar_t* main_executable_path, const wchar_t* current_directory) {
    STARTUPINFOW startup{};
    fill_startup_information(&startup);

    wchar_t* command_line = build_child_command_line();
    // Last, so that nothing the launcher does itself (its cache folder, a
    // {TEMP} in an argument) sees them.
    set_child_variables();
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(main_executable_path, command_line, nullptr, nullptr, TRUE,
                        NORMAL_PRIORITY_CLASS, nullptr, current_directory, &startup, &process))
        fail_with_system_error("Error, couldn't launch child", last_system_error());
    CloseHandle(process.hThread);
    AcquireSRWLockExclusive(&child_lock);
    child_process = process.hProcess;
    ReleaseSRWLockExclusive(&child_lock);

    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD exit_code = 0;
    if (!GetExitCodeProcess(process.hProcess, &exit_code))
        exit_code = 1;

    AcquireSRWLockExclusive(&child_lock);
    child_process = nullptr;
    CloseHandle(process.hProcess);
    ReleaseSRWLockExclusive(&child_lock);
    return exit_code;
}
