#include "launcher/system_function.h"

#include "launcher/bounded_copy.h"

#include <windows.h>

// The system folder's path with room for a library's file name.
static constexpr size_t library_path_capacity_units = 4096;

SystemFunction system_function(const wchar_t* library_file_name, const char* function_name) {
    wchar_t library_path[library_path_capacity_units];
    UINT units = GetSystemDirectoryW(library_path, library_path_capacity_units);
    if (units == 0 || units >= library_path_capacity_units)
        return nullptr;
    append_unit_bounded(library_path, library_path_capacity_units, L'\\');
    append_bounded(library_path, library_path_capacity_units, library_file_name);
    // A library already loaded is found again rather than loaded twice.
    HMODULE library = LoadLibraryW(library_path);
    if (library == nullptr)
        return nullptr;
    return reinterpret_cast<SystemFunction>(GetProcAddress(library, function_name));
}
