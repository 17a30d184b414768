#include "paths/directories.h"

#include "launcher/bounded_copy.h"
#include "launcher/failure.h"
#include "launcher/launcher_state.h"
#include "paths/path_template.h"
#include "paths/protected_target.h"

#include <cstdlib>
#include <cwchar>
#include <windows.h>

wchar_t* known_directories[known_directory_capacity];
unsigned known_directory_count;

static void remember_directory(const wchar_t* directory) {
    if (known_directory_count == known_directory_capacity)
        return;
    // A copy that cannot be made is simply not remembered.
    wchar_t* copy = _wcsdup(directory);
    if (copy != nullptr)
        known_directories[known_directory_count++] = copy;
}

static bool is_known_directory(const wchar_t* directory) {
    if (known_directory_count == 0) {
        // The home folder bounds every climb below it.
        wchar_t home[path_capacity_units];
        if (!expand_path_template(home, L"{HOME}", path_capacity_units))
            fail_template_expansion(L"{HOME}");
        remember_directory(home);
    }
    for (unsigned i = 0; i < known_directory_count; ++i) {
        if (wcscmp(known_directories[i], directory) == 0)
            return true;
    }
    return false;
}

bool ensure_directory(const wchar_t* directory) {
    if (is_known_directory(directory))
        return true;
    if (wcslen(directory) == 2 && directory[1] == L':')
        return true;
    if (!CreateDirectoryW(directory, created_folder_security())) {
        if (GetLastError() != ERROR_ALREADY_EXISTS)
            return false;
        if (target_directory_is_protected())
            check_existing_folder(directory);
    }
    remember_directory(directory);
    return true;
}

void check_parent_directories(const wchar_t* file_path) {
    wchar_t directory[path_capacity_units];
    copy_bounded(directory, path_capacity_units, file_path);
    for (size_t end = wcslen(target_directory) + 1; directory[end] != 0; ++end) {
        if (directory[end] != L'\\')
            continue;
        directory[end] = 0;
        if (!is_known_directory(directory)) {
            if (GetFileAttributesW(directory) == INVALID_FILE_ATTRIBUTES &&
                (GetLastError() == ERROR_FILE_NOT_FOUND || GetLastError() == ERROR_PATH_NOT_FOUND))
                return;
            check_existing_folder(directory);
            remember_directory(directory);
        }
        directory[end] = L'\\';
    }
}

// Cuts path at its last backslash after the first unit; false when there is none.
static bool cut_at_last_backslash(wchar_t* path) {
    size_t cut = wcslen(path);
    while (cut > 1 && path[cut - 1] != L'\\')
        --cut;
    if (cut <= 1)
        return false;
    path[cut - 1] = 0;
    return true;
}

bool ensure_parent_directories(const wchar_t* file_path) {
    // One buffer for every level: a path of 4095 units may have 2047 of
    // them, too many for a stack frame each.
    wchar_t directory[path_capacity_units];
    copy_bounded(directory, path_capacity_units, file_path);
    // The parent usually exists or can be made; otherwise climb until a
    // level can be made, counting the levels still missing below it.
    unsigned missing_levels = 0;
    while (cut_at_last_backslash(directory)) {
        if (ensure_directory(directory)) {
            if (missing_levels == 0)
                return true;
            directory[wcslen(directory)] = L'\\';
            break;
        }
        ++missing_levels;
    }
    // Make the missing levels on the way back down; the lowest decides.
    bool made = true;
    while (missing_levels > 0) {
        made = ensure_directory(directory);
        if (--missing_levels > 0)
            directory[wcslen(directory)] = L'\\';
    }
    return made;
}
