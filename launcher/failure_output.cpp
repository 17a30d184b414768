#include "launcher/failure_output.h"

#include "launcher/build_constants.h"
#include "launcher/launcher_kind.h"
#include "launcher/system_function.h"

#include <cwchar>

// Room for the longest line the failure routines compose, each UTF-16 unit
// taking at most three bytes of UTF-8, and the line break.
static constexpr int utf8_line_capacity_bytes = 3 * failure_line_capacity_units + 2;
static char utf8_line[utf8_line_capacity_bytes];

static bool is_usable(HANDLE handle) {
    return handle != nullptr && handle != INVALID_HANDLE_VALUE;
}

static void write_bytes(HANDLE handle, const char* bytes, DWORD count) {
    while (count > 0) {
        DWORD written = 0;
        if (!WriteFile(handle, bytes, count, &written, nullptr) || written == 0)
            return;
        bytes += written;
        count -= written;
    }
}

static void write_console(HANDLE console, const wchar_t* text, DWORD units) {
    while (units > 0) {
        DWORD written = 0;
        if (!WriteConsoleW(console, text, units, &written, nullptr) || written == 0)
            return;
        text += written;
        units -= written;
    }
}

static void write_line(DWORD std_handle_id, const wchar_t* line) {
    HANDLE stream = GetStdHandle(std_handle_id);
    if (!is_usable(stream))
        return;
    const size_t units = wcslen(line);
    DWORD console_mode = 0;
    if (GetConsoleMode(stream, &console_mode)) {
        write_console(stream, line, static_cast<DWORD>(units));
        write_console(stream, L"\r\n", 2);
        return;
    }
    // A unit without its other half comes out as U+FFFD: the rest of the line
    // still arrives.
    int bytes = units == 0
                    ? 0
                    : WideCharToMultiByte(CP_UTF8, 0, line, static_cast<int>(units), utf8_line,
                                          utf8_line_capacity_bytes - 2, nullptr, nullptr);
    if (bytes < 0 || (bytes == 0 && units != 0))
        return;
    utf8_line[bytes] = '\r';
    utf8_line[bytes + 1] = '\n';
    write_bytes(stream, utf8_line, static_cast<DWORD>(bytes + 2));
}

// A window station that is not visible (a scheduled task that runs whether
// or not the user is logged on, a service, an SSH session) shows a message
// box to nobody, and MessageBoxW would wait there for good
// ("GetUserObjectInformationW", "USEROBJECTFLAGS").
static bool window_station_is_visible() {
    using GetStationFunction = HWINSTA(WINAPI*)();
    using GetInformationFunction = BOOL(WINAPI*)(HANDLE, int, void*, DWORD, DWORD*);
    auto get_station = reinterpret_cast<GetStationFunction>(
        system_function(L"user32.dll", "GetProcessWindowStation"));
    auto get_information = reinterpret_cast<GetInformationFunction>(
        system_function(L"user32.dll", "GetUserObjectInformationW"));
    if (get_station == nullptr || get_information == nullptr)
        return false;
    HWINSTA station = get_station();
    USEROBJECTFLAGS flags = {};
    DWORD needed = 0;
    if (station == nullptr || !get_information(station, UOI_FLAGS, &flags, sizeof flags, &needed))
        return false;
    return (flags.dwFlags & WSF_VISIBLE) != 0;
}

// user32 is loaded only here: a launch that does not fail never pays for it.
static void show_message_box(const wchar_t* line) {
    if (!window_station_is_visible())
        return;
    using MessageBoxFunction = int(WINAPI*)(HWND, const wchar_t*, const wchar_t*, UINT);
    auto message_box =
        reinterpret_cast<MessageBoxFunction>(system_function(L"user32.dll", "MessageBoxW"));
    if (message_box != nullptr)
        message_box(nullptr, line, product_name, MB_OK | MB_ICONERROR);
}

void show_failure_line(DWORD std_handle_id, const wchar_t* line) {
    write_line(std_handle_id, line);
    if (launcher_is_windowed())
        show_message_box(line);
}
