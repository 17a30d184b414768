#include "paths/environment.h"

#include "launcher/bounded_copy.h"
#include "launcher/failure.h"

#include <cstdlib>
#include <cwchar>
#include <windows.h>

constexpr size_t variable_name_capacity_units = 40;
constexpr size_t variable_value_capacity_units = 32768;

static wchar_t launcher_path[launcher_path_capacity_units];

static void widen_name(const char* name, wchar_t (&wide)[variable_name_capacity_units]) {
    wide[0] = 0;
    append_narrow_bounded(wide, variable_name_capacity_units, name);
}

wchar_t* get_environment_value(const char* name) {
    wchar_t wide_name[variable_name_capacity_units];
    widen_name(name, wide_name);
    wchar_t value[variable_value_capacity_units];
    DWORD length = GetEnvironmentVariableW(wide_name, value, variable_value_capacity_units);
    if (length == 0 || length >= variable_value_capacity_units)
        return nullptr;
    return _wcsdup(value);
}

bool set_environment_value(const char* name, const wchar_t* value) {
    wchar_t wide_name[variable_name_capacity_units];
    widen_name(name, wide_name);
    return SetEnvironmentVariableW(wide_name, value) != 0;
}

bool clear_environment_value(const char* name) {
    wchar_t wide_name[variable_name_capacity_units];
    widen_name(name, wide_name);
    return SetEnvironmentVariableW(wide_name, nullptr) != 0;
}

const wchar_t* get_launcher_path() {
    if (launcher_path[0] != 0)
        return launcher_path;
    DWORD reported = GetModuleFileNameW(nullptr, launcher_path, launcher_path_capacity_units);
    // A path that filled the buffer was cut short, even when the system
    // terminated it: a directory taken from it would be wrong.
    if (reported >= launcher_path_capacity_units)
        fail_bounds();
    size_t length = bounded_length(launcher_path, launcher_path_capacity_units);
    launcher_path[length] = 0;
    return launcher_path;
}

unsigned long last_system_error() {
    return GetLastError();
}
