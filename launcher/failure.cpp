#include "launcher/failure.h"

#include "launcher/bounded_copy.h"
#include "launcher/failure_output.h"
#include "launcher/launcher_state.h"

#include <cstdio>
#include <cstdlib>
#include <windows.h>

// Every fatal line is composed here in full before anything is written, so
// that it reaches the user whole, in whatever script its path, template or
// system text is written.
static wchar_t failure_line[failure_line_capacity_units];

static void (*failure_cleanup)();

void set_failure_cleanup(void (*cleanup)()) {
    failure_cleanup = cleanup;
}

// Every ending runs the cleanup first: a line blocked by a selection in the
// console window, or a message box nobody answers, must not keep other
// launches of the folder waiting on the cache lock.
static void start_line(const char* text) {
    if (failure_cleanup != nullptr)
        failure_cleanup();
    failure_line[0] = 0;
    append_narrow_bounded(failure_line, failure_line_capacity_units, text);
}

static void append_text(const char* text) {
    append_narrow_bounded(failure_line, failure_line_capacity_units, text);
}

static void append_wide_text(const wchar_t* text) {
    append_bounded(failure_line, failure_line_capacity_units, text);
}

// The C runtime's abort may print a notice of its own; the launcher's aborts
// stay silent and end with the status abort would give (3).
[[noreturn]] static void abort_silently() {
    fflush(stdout);
    fflush(stderr);
    TerminateProcess(GetCurrentProcess(), 3);
    abort();
}

// The system's text for an error code in its wide form, without the line
// break it ends with.
static void append_system_text(unsigned long error_code) {
    wchar_t* system_text = nullptr;
    FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_FROM_SYSTEM,
        nullptr, error_code, 0x409, reinterpret_cast<wchar_t*>(&system_text), 0, nullptr);
    if (system_text == nullptr) {
        // No text for the code: the number alone still says what happened.
        append_text("unknown error");
        return;
    }
    for (size_t length = wcslen(system_text); length > 0; --length) {
        wchar_t& last = system_text[length - 1];
        if (last != L'\r' && last != L'\n')
            break;
        last = 0;
    }
    append_wide_text(system_text);
}

void fail_plain(const char* message) {
    start_line(message);
    show_failure_line(STD_OUTPUT_HANDLE, failure_line);
    exit(2);
}

void fail_with_system_error(const char* message, unsigned long error_code) {
    char code[32];
    snprintf(code, sizeof code, "%ld", static_cast<long>(error_code));
    start_line(message);
    append_text(" ([Error ");
    append_text(code);
    append_text("] ");
    append_system_text(error_code);
    append_text(")");
    show_failure_line(STD_ERROR_HANDLE, failure_line);
    exit(2);
}

void fail_open_for_writing() {
    start_line("Error, failed to open '");
    append_wide_text(entry_path);
    append_text("' for writing.");
    show_failure_line(STD_ERROR_HANDLE, failure_line);
    exit(2);
}

void fail_unprotected_folder(const wchar_t* level, const char* reason) {
    start_line("Error, refusing to run as administrator from '");
    append_wide_text(target_directory);
    append_text("': '");
    append_wide_text(level);
    append_text("' ");
    append_text(reason);
    append_text(".");
    show_failure_line(STD_ERROR_HANDLE, failure_line);
    exit(2);
}

void fail_template_expansion(const wchar_t* path_template) {
    start_line("Error, couldn't runtime expand spec '");
    append_wide_text(path_template);
    append_text("'.");
    show_failure_line(STD_ERROR_HANDLE, failure_line);
    abort_silently();
}

void fail_command_line_too_long() {
    start_line("Error, the child's command line would be longer than the 32766 characters "
               "Windows starts a program with; give fewer or shorter arguments.");
    show_failure_line(STD_ERROR_HANDLE, failure_line);
    exit(2);
}

void fail_bounds() {
    if (failure_cleanup != nullptr)
        failure_cleanup();
    abort_silently();
}
