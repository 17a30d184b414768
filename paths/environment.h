#pragma once

#include <cstddef>

// The process environment by ASCII names, the launcher's own path and the
// last system error. Names widen into a 40-unit buffer: at most 39 characters.

// A heap copy of the value (release with free), or null when the variable
// is missing, empty, or does not fit 32,767 units.
wchar_t* get_environment_value(const char* name);

// Results are the system's success flags; the launcher does not rely on them.
bool set_environment_value(const char* name, const wchar_t* value);
bool clear_environment_value(const char* name);

constexpr size_t launcher_path_capacity_units = 4097;

// The launcher's executable path as the system reports it, fetched once.
const wchar_t* get_launcher_path();

unsigned long last_system_error();
