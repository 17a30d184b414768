#pragma once

// The ways the launcher ends on a failure. Each message's shape lives in
// failure.cpp; callers pick the routine and give what the line names (a
// message, a folder, an error code). None of them returns.

// What every routine below that writes a line runs first, before the line
// or its box: the room that holds what other launches wait for (the cache
// lock) registers how to let it go, so that this base uses no room above it.
void set_failure_cleanup(void (*cleanup)());

// The message and a newline on standard output, exit code 2.
[[noreturn]] void fail_plain(const char* message);

// "message ([Error code] system text)" on standard error, exit code 2.
[[noreturn]] void fail_with_system_error(const char* message, unsigned long error_code);

// Names the current entry path on standard error, exit code 2.
[[noreturn]] void fail_open_for_writing();

// Names the target directory and the level of it that an elevated launcher
// may not run from, with the reason, on standard error, exit code 2.
[[noreturn]] void fail_unprotected_folder(const wchar_t* level, const char* reason);

// Names the unexpanded template on standard error, then aborts.
[[noreturn]] void fail_template_expansion(const wchar_t* path_template);

// The child's command line, fixed and user arguments together, would be
// longer than the system starts a process with: says so on standard
// error, exit code 2.
[[noreturn]] void fail_command_line_too_long();

// A fixed buffer would overflow: abort without a word.
[[noreturn]] void fail_bounds();
