#include "payload/partial_file.h"

#include "launcher/bounded_copy.h"
#include "launcher/launcher_state.h"

#include <cwchar>

// The entry path and a suffix of at most ".qarvel-partial-4294967295".
constexpr size_t partial_path_capacity_units = path_capacity_units + 32;
static wchar_t partial_path[partial_path_capacity_units];

// The rename request for the open partial file. Its new name is the entry
// path in the system's own form ("\??\C:\...", "\??\UNC\server\..."), which
// needs no conversion on the way.
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

// Shared for reading, so that between the rename and the close a checksum
// can still be taken, and for deleting, so that whoever else opens it
// cannot keep it from being renamed or deleted.
static HANDLE create_file_at_partial_path() {
    return CreateFileW(partial_path, GENERIC_WRITE | DELETE, FILE_SHARE_READ | FILE_SHARE_DELETE,
                       nullptr, CREATE_ALWAYS, 0, nullptr);
}

HANDLE create_partial_file() {
    // One name per entry: what a killed launch left there is taken over by
    // the next launch that writes the entry.
    copy_bounded(partial_path, partial_path_capacity_units, entry_path);
    append_bounded(partial_path, partial_path_capacity_units, L".qarvel-partial");
    HANDLE file = create_file_at_partial_path();
    if (file != INVALID_HANDLE_VALUE)
        return file;
    // Another launch is writing the same entry now: a name of this process.
    wchar_t digits[16];
    size_t count = 0;
    for (DWORD id = GetCurrentProcessId(); count == 0 || id != 0; id /= 10)
        digits[count++] = static_cast<wchar_t>(L'0' + id % 10);
    append_unit_bounded(partial_path, partial_path_capacity_units, L'-');
    while (count > 0)
        append_unit_bounded(partial_path, partial_path_capacity_units, digits[--count]);
    return create_file_at_partial_path();
}

bool put_partial_file_in_place(HANDLE partial) {
    // Renamed through its own handle, with no moment when it is complete and
    // closed but not yet in place.
    FILE_RENAME_INFO* request = rename_to_entry_path();
    if (!SetFileInformationByHandle(partial, FileRenameInfo, request,
                                    sizeof(FILE_RENAME_INFO) + request->FileNameLength)) {
        discard_partial_file(partial);
        return false;
    }
    CloseHandle(partial);
    return true;
}

void discard_partial_file(HANDLE partial) {
    FILE_DISPOSITION_INFO disposition = {TRUE};
    SetFileInformationByHandle(partial, FileDispositionInfo, &disposition, sizeof disposition);
    CloseHandle(partial);
}
