#include "payload/partial_file.h"

#include "launcher/bounded_copy.h"
#include "launcher/launcher_state.h"
#include "paths/environment.h"
#include "paths/protected_target.h"

#include <cwchar>

constexpr wchar_t partial_suffix[] = L".qarvel-partial";

// The entry path and a suffix of at most ".qarvel-partial-4294967295", the
// longest that is ever looked for.
constexpr size_t partial_path_capacity_units = path_capacity_units + 32;
static wchar_t partial_path[partial_path_capacity_units];

// The rename request for the open partial file. With no root directory, a
// rename takes the new name as a full path in the system's own namespace
// (Windows Driver Kit, "FILE_RENAME_INFORMATION structure"), which
// SetFileInformationByHandle hands on unchanged. In that namespace "\??\"
// holds the drive letters and "\??\UNC\" the network shares (Windows Driver
// Kit, "Local and Global MS-DOS Device Names" and "Support for UNC Naming
// and MUP"), so the entry path needs no conversion beyond its prefix.
constexpr size_t rename_name_capacity_units = path_capacity_units + 8;
alignas(FILE_RENAME_INFO) static unsigned char rename_request[sizeof(FILE_RENAME_INFO) +
                                                              rename_name_capacity_units *
                                                                  sizeof(wchar_t)];

static bool starts_with(const wchar_t* text, const wchar_t* prefix) {
    return wcsncmp(text, prefix, wcslen(prefix)) == 0;
}

static FILE_RENAME_INFO* rename_to_entry_path() {
    auto* request = reinterpret_cast<FILE_RENAME_INFO*>(rename_request);
    // The entry path is absolute: a drive path, a share, or either behind
    // "\\?\" or "\\.\".
    const wchar_t* rest = entry_path;
    const wchar_t* prefix = L"\\??\\";
    if (starts_with(rest, L"\\\\?\\") || starts_with(rest, L"\\\\.\\"))
        rest += 4;
    else if (starts_with(rest, L"\\\\")) {
        prefix = L"\\??\\UNC\\";
        rest += 2;
    }
    copy_bounded(request->FileName, rename_name_capacity_units, prefix);
    append_bounded(request->FileName, rename_name_capacity_units, rest);
    request->ReplaceIfExists = TRUE;
    request->RootDirectory = nullptr;
    request->FileNameLength = static_cast<DWORD>(
        bounded_length(request->FileName, rename_name_capacity_units) * sizeof(wchar_t));
    return request;
}

HANDLE create_partial_file() {
    // One name per entry: what a killed launch left there is taken over.
    // Launches that hold the cache lock (cache_lock.h) never meet here; one
    // that could not have it may find this name held, and then writes in
    // place.
    copy_bounded(partial_path, partial_path_capacity_units, entry_path);
    append_bounded(partial_path, partial_path_capacity_units, partial_suffix);
    // Readable, for the copy when the rename fails; shared for reading, so
    // that between the rename and the close a checksum can still be taken,
    // and for deleting, so that whoever else opens it cannot keep it from
    // being renamed or deleted.
    //
    // Below a protected target the file must get the protected rights,
    // which CreateFileW gives only to a file it creates: what is left at
    // the name goes first.
    SECURITY_ATTRIBUTES* security = created_file_security();
    if (security != nullptr)
        DeleteFileW(partial_path);
    return CreateFileW(partial_path, GENERIC_READ | GENERIC_WRITE | DELETE,
                       FILE_SHARE_READ | FILE_SHARE_DELETE, security,
                       security != nullptr ? CREATE_NEW : CREATE_ALWAYS, 0, nullptr);
}

bool put_partial_file_in_place(HANDLE partial) {
    // Renamed through its own handle, with no moment when it is complete and
    // closed but not yet in place.
    FILE_RENAME_INFO* request = rename_to_entry_path();
    if (!SetFileInformationByHandle(partial, FileRenameInfo, request,
                                    sizeof(FILE_RENAME_INFO) + request->FileNameLength))
        return false;
    CloseHandle(partial);
    return true;
}

bool copy_partial_file_to(HANDLE partial, HANDLE output) {
    LARGE_INTEGER start = {};
    if (!SetFilePointerEx(partial, start, nullptr, FILE_BEGIN))
        return false;
    for (;;) {
        DWORD read = 0;
        if (!ReadFile(partial, copy_buffer, sizeof copy_buffer, &read, nullptr))
            return false;
        if (read == 0)
            return true;
        DWORD written = 0;
        if (!WriteFile(output, copy_buffer, read, &written, nullptr))
            return false;
    }
}

void discard_partial_file(HANDLE partial) {
    FILE_DISPOSITION_INFO disposition = {TRUE};
    SetFileInformationByHandle(partial, FileDispositionInfo, &disposition, sizeof disposition);
    CloseHandle(partial);
}

// ".qarvel-partial", or that and "-" and a process id (at most ten digits).
static bool is_partial_suffix(const wchar_t* text) {
    if (!starts_with(text, partial_suffix))
        return false;
    text += wcslen(partial_suffix);
    if (*text == 0)
        return true;
    if (*text++ != L'-')
        return false;
    size_t digits = 0;
    for (; *text != 0; ++text, ++digits)
        if (*text < L'0' || *text > L'9')
            return false;
    return digits > 0 && digits <= 10;
}

void remove_leftover_partial_files() {
    copy_bounded(partial_path, partial_path_capacity_units, entry_path);
    append_bounded(partial_path, partial_path_capacity_units, partial_suffix);
    append_unit_bounded(partial_path, partial_path_capacity_units, L'*');
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW(partial_path, &found);
    if (search == INVALID_HANDLE_VALUE)
        return;
    const wchar_t* file_name = wcsrchr(entry_path, L'\\') + 1;
    size_t file_name_units = wcslen(file_name);
    wchar_t* folder_end = partial_path + (file_name - entry_path);
    do {
        // The pattern also matches short names, and names that only begin
        // like a partial file's; those are left alone.
        if (_wcsnicmp(found.cFileName, file_name, file_name_units) != 0 ||
            !is_partial_suffix(found.cFileName + file_name_units))
            continue;
        *folder_end = 0;
        append_bounded(partial_path, partial_path_capacity_units, found.cFileName);
        DeleteFileW(partial_path);
    } while (FindNextFileW(search, &found));
    FindClose(search);
}
