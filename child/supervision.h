#pragma once

#include <windows.h>

// Gives a running child 5000 ms after a console event, then ends it; always
// answers FALSE so the system's own handling of the event follows.
BOOL WINAPI console_control_handler(DWORD event_type);

// Starts the main executable as the child with the launcher's console,
// handles, show state and environment, in current_directory or, when that
// is null, in the launcher's own; waits for it and returns its exit code (1
// when that cannot be read). A failed start ends the launcher.
DWORD launch_child_and_wait(const wchar_t* main_executable_path, const wchar_t* current_directory);
