#include "paths/directories.h"

#include "launcher/bounded_copy.h"
#include "launcher/failure.h"
#include "launcher/launcher_state.h"
#include "paths/path_template.h"

#include <cwchar>
#include <windows.h>

constexpr unsigned known_directory_capacity = 1024;

static wchar_t* known_directories[known_directory_capacity];
static unsigned known_count;

static void remember_directory(const wchar_t* directory) {
    if (known_count == known_directory_capacity)
        return;
    // A copy that cannot be made is simply not remembered.
    wchar_t* copy = _wcsdup(directory);
    if (copy != nullptr)
        known_directories[known_count++] = copy;
}

bool ensure_directory(const wchar_t* directory) {
    if (known_count == 0) {
        // The home folder bounds every climb below it.
        wchar_t home[path_capacity_units];
        if (!expand_path_template(home, L"{HOME}", path_capacity_units))
            fail_template_expansion(L"{HOME}");
        remember_directory(home);
    }
    for (unsigned i = 0; i < known_count; ++i) {
        if (wcscmp(known_directories[i], directory) == 0)
            return true;
    }
    if (wcslen(directory) == 2 && directory[1] == L':')
        return true;
    if (!CreateDirectoryW(directory, nullptr) && GetLastError() != ERROR_ALREADY_EXISTS)
        return false;
    remember_directory(directory);
    return true;
}

bool ensure_parent_directories(const wchar_t* file_path) {
    wchar_t parent[path_capacity_units];
    copy_bounded(parent, path_capacity_units, file_path);
    size_t cut = wcslen(parent);
    while (cut > 1 && parent[cut - 1] != L'\\')
        --cut;
    if (cut <= 1)
        return true;
    parent[cut - 1] = 0;
    if (ensure_directory(parent))
        return true;
    ensure_parent_directories(parent);
    return ensure_directory(parent);
}

unsigned known_directory_count() { return known_count; }
