#pragma once

#include <cstddef>

// Process-wide working buffers. Capacities are UTF-16 units including the
// terminator, or bytes where the name says so.
constexpr size_t path_capacity_units = 4096;
constexpr size_t entry_name_capacity_units = 1024;
constexpr size_t copy_buffer_bytes = 32768;

extern wchar_t target_directory[path_capacity_units];
extern wchar_t main_executable_path[path_capacity_units];
extern wchar_t entry_name[entry_name_capacity_units];
extern wchar_t entry_path[path_capacity_units];
extern unsigned char copy_buffer[copy_buffer_bytes];
