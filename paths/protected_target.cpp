#include "paths/protected_target.h"

#include "launcher/bounded_copy.h"
#include "launcher/elevation.h"
#include "launcher/failure.h"
#include "launcher/launcher_state.h"
#include "launcher/system_function.h"
#include "paths/folder_protection.h"
#include "paths/path_template.h"

#include <aclapi.h>
#include <cwchar>
#include <sddl.h>
#include <winioctl.h>

namespace {

using GetSecurityInfoFunction = DWORD(WINAPI*)(HANDLE, SE_OBJECT_TYPE, SECURITY_INFORMATION, PSID*,
                                               PSID*, PACL*, PACL*, PSECURITY_DESCRIPTOR*);
using ConvertSddlFunction = BOOL(WINAPI*)(LPCWSTR, DWORD, PSECURITY_DESCRIPTOR*, PULONG);

SECURITY_ATTRIBUTES protected_attributes;
SECURITY_ATTRIBUTES file_attributes;
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
    make_attributes(convert, protected_file_sddl, file_attributes);
    make_attributes(convert, protected_lock_file_sddl, lock_file_attributes);
    folders_protected = true;
}

// Units of a local drive's root, its trailing backslash included: "C:\"
// or "\\?\C:\"; 0 for any other path.
size_t drive_root_length(const wchar_t* path) {
    size_t start = wcsncmp(path, L"\\\\?\\", 4) == 0 ? 4 : 0;
    const wchar_t* rest = path + start;
    bool letter = (rest[0] >= L'A' && rest[0] <= L'Z') || (rest[0] >= L'a' && rest[0] <= L'z');
    return letter && rest[1] == L':' && rest[2] == L'\\' ? start + 3 : 0;
}

// Units of the target that are the template's machine-wide folder or lie
// above it: every level up to there only needs to keep its children.
// Without such a folder, or when the target leaves it, only the root.
size_t enclosing_length(const wchar_t* target, size_t root_units, const wchar_t* target_spec) {
    wchar_t folder[path_capacity_units];
    wchar_t absolute[path_capacity_units];
    if (!expand_leading_folder(folder, target_spec, path_capacity_units))
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

// A volume whose owner and access entries mean what they say: a local fixed
// disk that keeps them. A removable or USB disk formatted elsewhere, or a
// share on a server someone else runs, reports whatever descriptors its
// maker chose; USB and FireWire hard disks report DRIVE_FIXED, so the bus
// is asked too ("IOCTL_STORAGE_QUERY_PROPERTY").
void check_volume(wchar_t drive_letter) {
    wchar_t root[] = {drive_letter, L':', L'\\', 0};
    if (GetDriveTypeW(root) != DRIVE_FIXED)
        fail_unprotected_folder(root, "is not a fixed local disk");

    HANDLE root_handle = CreateFileW(root, FILE_READ_ATTRIBUTES,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                     nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    DWORD flags = 0;
    bool read = root_handle != INVALID_HANDLE_VALUE &&
                GetVolumeInformationByHandleW(root_handle, nullptr, 0, nullptr, nullptr, &flags,
                                              nullptr, 0);
    if (root_handle != INVALID_HANDLE_VALUE)
        CloseHandle(root_handle);
    if (!read)
        fail_unprotected_folder(root, "is a disk whose kind cannot be read");
    if (!(flags & FILE_PERSISTENT_ACLS))
        fail_unprotected_folder(root, "is a disk that keeps no access rights");

    // No access is needed to ask a volume about its device.
    wchar_t device[] = {L'\\', L'\\', L'.', L'\\', drive_letter, L':', 0};
    HANDLE volume = CreateFileW(device, 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    STORAGE_PROPERTY_QUERY query = {};
    query.PropertyId = StorageDeviceProperty;
    query.QueryType = PropertyStandardQuery;
    alignas(STORAGE_DEVICE_DESCRIPTOR) unsigned char answer[1024] = {};
    DWORD returned = 0;
    read = volume != INVALID_HANDLE_VALUE &&
           DeviceIoControl(volume, IOCTL_STORAGE_QUERY_PROPERTY, &query, sizeof query, answer,
                           sizeof answer, &returned, nullptr) &&
           returned >= offsetof(STORAGE_DEVICE_DESCRIPTOR, BusType) + sizeof(STORAGE_BUS_TYPE);
    STORAGE_HOTPLUG_INFO hotplug = {};
    bool hotplug_read = volume != INVALID_HANDLE_VALUE &&
                        DeviceIoControl(volume, IOCTL_STORAGE_GET_HOTPLUG_INFO, nullptr, 0,
                                        &hotplug, sizeof hotplug, &returned, nullptr) &&
                        returned >= sizeof hotplug;
    if (volume != INVALID_HANDLE_VALUE)
        CloseHandle(volume);
    if (!read)
        fail_unprotected_folder(root, "is a disk whose kind cannot be read");
    const auto* device_descriptor = reinterpret_cast<const STORAGE_DEVICE_DESCRIPTOR*>(answer);
    STORAGE_BUS_TYPE bus = device_descriptor->BusType;
    if (device_descriptor->RemovableMedia || bus == BusTypeUsb || bus == BusType1394 ||
        bus == BusTypeSd || bus == BusTypeMmc ||
        (hotplug_read && (hotplug.MediaRemovable || hotplug.DeviceHotplug)))
        fail_unprotected_folder(root, "is a removable, USB or hot-pluggable disk");
}

// Whoever creates a file in the target: the elevated token's default owner,
// Administrators unless the "object creator" owner policy makes it the
// user. What a CREATOR OWNER entry gives goes to that owner.
bool creator_trusted;

// Reads the owner and access list of what handle opens and judges them as
// a file's or at a folder's level; false when they cannot be read.
enum class Judged { file, folder };

bool judge_handle(HANDLE handle, Judged judged, FolderLevel level, FolderVerdict& verdict) {
    auto get_security_info =
        reinterpret_cast<GetSecurityInfoFunction>(advapi_function("GetSecurityInfo"));
    PSID owner = nullptr;
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (get_security_info == nullptr ||
        get_security_info(handle, SE_FILE_OBJECT,
                          OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &owner, nullptr,
                          &dacl, nullptr, &descriptor) != ERROR_SUCCESS)
        return false;
    verdict = judged == Judged::file ? judge_file(owner, dacl)
                                     : judge_folder(owner, dacl, level, creator_trusted);
    LocalFree(descriptor);
    return true;
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

    FolderVerdict verdict = FolderVerdict::open_to_others;
    if (!judge_handle(handle, Judged::folder, kind, verdict))
        fail_unprotected_folder(level, "cannot be read to check it");
    CloseHandle(handle);
    if (verdict != FolderVerdict::protected_folder)
        refuse(level, verdict);
}

} // namespace

void refuse_unfixed_target_directory() {
    if (drive_root_length(target_directory) == 0)
        fail_unprotected_folder(target_directory,
                                wcsncmp(target_directory, L"\\\\", 2) == 0
                                    ? "is not on a local drive"
                                    : "is not a full path: it depends on the current folder");
}

void protect_target_directory(const wchar_t* target_spec) {
    make_protected_attributes();
    creator_trusted = is_trusted_owner(token_default_owner());
    wchar_t level[path_capacity_units];
    copy_bounded(level, path_capacity_units, target_directory);
    size_t root_units = drive_root_length(level);
    if (root_units == 0)
        fail_unprotected_folder(target_directory, "is not on a local drive");
    check_volume(level[root_units - 3]);
    size_t length = wcslen(level);
    while (length > root_units && level[length - 1] == L'\\')
        level[--length] = 0;
    size_t enclosing_units = enclosing_length(level, root_units, target_spec);

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

void check_existing_folder(const wchar_t* folder) {
    // What an administrator moved in, or an installer opened to users, is
    // judged as the target is: its files inherit from it.
    check_level(folder, FolderLevel::target);
}

bool file_is_protected(HANDLE file) {
    BY_HANDLE_FILE_INFORMATION information;
    if (!GetFileInformationByHandle(file, &information) ||
        (information.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
        return false;
    FolderVerdict verdict = FolderVerdict::open_to_others;
    return judge_handle(file, Judged::file, FolderLevel::inner, verdict) &&
           verdict == FolderVerdict::protected_folder;
}

bool target_directory_is_protected() {
    return folders_protected;
}

SECURITY_ATTRIBUTES* created_folder_security() {
    return folders_protected ? &protected_attributes : nullptr;
}

SECURITY_ATTRIBUTES* created_file_security() {
    return folders_protected ? &file_attributes : nullptr;
}

SECURITY_ATTRIBUTES* created_lock_file_security() {
    return folders_protected ? &lock_file_attributes : nullptr;
}
