#include "launcher/failure.h"

#include "launcher/launcher_state.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <windows.h>

// The C runtime's abort may print a notice of its own; the launcher's aborts
// stay silent and end with the status abort would give (3).
[[noreturn]] static void abort_silently() {
    fflush(stdout);
    fflush(stderr);
    TerminateProcess(GetCurrentProcess(), 3);
    abort();
}

void fail_plain(const char* message) {
    puts(message);
    exit(2);
}

void fail_with_system_error(const char* message, unsigned long error_code) {
    char* system_text = nullptr;
    FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS |
                       FORMAT_MESSAGE_FROM_SYSTEM,
                   nullptr, error_code, 0x409, reinterpret_cast<char*>(&system_text), 0, nullptr);
    if (system_text == nullptr) {
        // No text for the code: the number alone still says what happened.
        system_text = const_cast<char*>("unknown error");
    } else {
        for (size_t length = strlen(system_text); length > 0; --length) {
            char& last = system_text[length - 1];
            if (last != '\r' && last != '\n')
                break;
            last = '\0';
        }
    }
    fprintf(stderr, "%s ([Error %ld] %s)\n", message, static_cast<long>(error_code), system_text);
    exit(2);
}

void fail_open_for_writing() {
    fwprintf(stderr, L"Error, failed to open '%ls' for writing.\n", entry_path);
    exit(2);
}

void fail_template_expansion(const wchar_t* path_template) {
    fwprintf(stderr, L"Error, couldn't runtime expand spec '%ls'.\n", path_template);
    abort_silently();
}

void fail_bounds() {
    abort_silently();
}
