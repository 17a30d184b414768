#include "paths/protected_target.h"

#include "launcher/bounded_copy.h"
#include "launcher/build_constants.h"
#include "launcher/failure.h"
#include "launcher/launcher_state.h"
#include "launcher/system_function.h"
#include "paths/folder_protection.h"
#include "paths/path_template.h"

#include <aclapi.h>
#include <cwchar>
#include <sddl.h>

namespace {

using GetSecurityInfoFunction = DWORD(WINAPI*)(HANDLE, SE_OBJECT_TYPE, SECURITY_INFORMATION, PSID*,
                                               PSID*, PACL*, PACL*, PSECURITY_DESCRIPTOR*);
using ConvertSddlFunction = BOOL(WINAPI*)(LPCWSTR, DWORD, PSECURITY_DESCRIPTOR*, PULONG);

SECURITY_ATTRIBUTES protected_attributes;
SECURITY_ATTRIBUTES lock_file_attributes;
bool folders_protected;

// advapi32 is loaded only by elevated launchers, so that the others start
// as before.
SystemFunction advapi_function(const char* name) {
    return system_function(L"advapi32.dll", name);
}

void make_attributes(ConvertSddlFunction convert, const wchar_t* sddl,
                     SECURITY_ATTRIBUTES& attributes) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (convert == nullptr || !convert(sddl, SDDL_REVISION_1, &descriptor, nullptr))
        fail_with_system_error("Error, couldn't make the protected folder rights", GetLastError());
    attributes.nLength = sizeof attributes;
    attributes.lpSecurityDescriptor = descriptor;
    attributes.bInheritHandle = FALSE;
}

void make_protected_attributes() {
    auto convert = reinterpret_cast<ConvertSddlFunction>(
        advapi_function("ConvertStringSecurityDescriptorToSecurityDescriptorW"));
    make_attributes(convert, protected_folder_sddl, protected_attributes);
    make_attributes(convert, protected_lock_file_sddl, lock_file_attributes);
    folders_protected = true;
}

// Units of the path's root, its trailing backslash included: "C:\",
// "\\?\C:\", "\\server\share\" or "\\?\UNC\server\share\"; 0 for none.
size_t root_length(const wchar_t* path) {
    size_t start = wcsncmp(path, L"\\\\?\\", 4) == 0 ? 4 : 0;
    const wchar_t* rest = path + start;
    if (rest[0] != 0 && rest[1] == L':' && rest[2] == L'\\')
        return start + 3;
    size_t share;
    if (start == 4 && _wcsnicmp(rest, L"UNC\\", 4) == 0)
        share = 8;
    else if (start == 0 && wcsncmp(path, L"\\\\", 2) == 0)
        share = 2;
    else
        return 0;
    // Past the server and the share names.
    size_t length = share;
    for (int names = 0; names < 2; ++names) {
        size_t name_start = length;
        while (path[length] != 0 && path[length] != L'\\')
            ++length;
        if (length == name_start)
            return 0;
        if (path[length] == L'\\')
            ++length;
        else if (names == 0)
            return 0;
    }
    return length;
}

// Units of the target that are the template's machine-wide folder or lie
// above it: every level up to there only needs to keep its children.
// Without such a folder, or when the target leaves it, only the root.
size_t enclosing_length(const wchar_t* target, size_t root_units) {
    wchar_t folder[path_capacity_units];
    wchar_t absolute[path_capacity_units];
    if (!expand_leading_folder(folder, target_directory_spec, path_capacity_units))
        return root_units;
    DWORD units = GetFullPathNameW(folder, path_capacity_units, absolute, nullptr);
    if (units == 0 || units >= path_capacity_units)
        return root_units;
    while (units > root_units && absolute[units - 1] == L'\\')
        absolute[--units] = 0;
    if (units <= root_units || wcslen(target) < units ||
        CompareStringOrdinal(target, static_cast<int>(units), absolute, static_cast<int>(units),
                             TRUE) != CSTR_EQUAL ||
        (target[units] != 0 && target[units] != L'\\'))
        return root_units;
    return units;
}

[[noreturn]] void refuse(const wchar_t* level, FolderVerdict verdict) {
    fail_unprotected_folder(level,
                            verdict == FolderVerdict::untrusted_owner
                                ? "is not owned by Administrators, SYSTEM or TrustedInstaller"
                                : "lets programs without administrator rights change it");
}

// Opens the level itself, never what a junction or link points to, and
// judges its owner, rights and kind.
void check_level(const wchar_t* level, FolderLevel kind) {
    HANDLE handle =
        CreateFileW(level, READ_CONTROL | FILE_READ_ATTRIBUTES,
                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                    FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        fail_unprotected_folder(level, "cannot be opened to check it");
    BY_HANDLE_FILE_INFORMATION information;
    if (!GetFileInformationByHandle(handle, &information))
        fail_unprotected_folder(level, "cannot be read to check it");
    if (information.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)
        fail_unprotected_folder(level, "is a junction or symbolic link");
    if (!(information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        fail_unprotected_folder(level, "is not a folder");

    auto get_security_info =
        reinterpret_cast<GetSecurityInfoFunction>(advapi_function("GetSecurityInfo"));
    PSID owner = nullptr;
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (get_security_info == nullptr ||
        get_security_info(handle, SE_FILE_OBJECT,
                          OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &owner, nullptr,
                          &dacl, nullptr, &descriptor) != ERROR_SUCCESS)
        fail_unprotected_folder(level, "cannot be read to check it");
    FolderVerdict verdict = judge_folder(owner, dacl, kind, true);
    LocalFree(descriptor);
    CloseHandle(handle);
    if (verdict != FolderVerdict::protected_folder)
        refuse(level, verdict);
}

} // namespace

void protect_target_directory() {
    make_protected_attributes();
    wchar_t level[path_capacity_units];
    copy_bounded(level, path_capacity_units, target_directory);
    size_t root_units = root_length(level);
    if (root_units == 0)
        fail_unprotected_folder(target_directory, "has no drive or share to check it from");
    size_t length = wcslen(level);
    while (length > root_units && level[length - 1] == L'\\')
        level[--length] = 0;
    size_t enclosing_units = enclosing_length(level, root_units);

    // From the root down, each level ending at a backslash, then the target.
    for (size_t end = root_units; end <= length; ++end) {
        if (end != root_units && end != length && level[end] != L'\\')
            continue;
        wchar_t saved = level[end];
        level[end] = 0;
        FolderLevel kind = end == length            ? FolderLevel::target
                           : end <= enclosing_units ? FolderLevel::enclosing
                                                    : FolderLevel::inner;
        // Levels below the machine-wide folder are the launcher's to make;
        // one that exists is checked like one it made.
        if (kind != FolderLevel::enclosing && !CreateDirectoryW(level, &protected_attributes) &&
            GetLastError() != ERROR_ALREADY_EXISTS)
            fail_unprotected_folder(level, "cannot be created");
        check_level(level, kind);
        level[end] = saved;
    }
}

SECURITY_ATTRIBUTES* created_folder_security() {
    return folders_protected ? &protected_attributes : nullptr;
}

SECURITY_ATTRIBUTES* created_lock_file_security() {
    return folders_protected ? &lock_file_attributes : nullptr;
}
