#include "payload/unpack.h"

#include "launcher/bounded_copy.h"
#include "launcher/failure.h"
#include "launcher/launcher_state.h"
#include "paths/directories.h"
#include "paths/environment.h"
#include "payload/partial_file.h"
#include "payload/payload_format.h"
#include "payload/payload_reader.h"

#include <windows.h>
#include <zlib.h>

// Reads one name into entry_name; false at the end marker.
static bool read_entry_name() {
    size_t units = 0;
    for (;;) {
        unsigned char bytes[2];
        read_payload(bytes, 2);
        auto unit = static_cast<wchar_t>(bytes[0] | bytes[1] << 8);
        // The buffer's last unit is kept for the terminator.
        if (unit != 0 && units == entry_name_capacity_units - 1)
            fail_bounds();
        entry_name[units++] = unit;
        if (unit == 0)
            return units > 1;
    }
}

// The CRC-32 of the file on disk through a read-only mapping; 0 when there
// is no file, or it is empty, or it cannot be read. A computed 0 becomes 1.
// missing tells whether the file or its folder does not exist.
static uint32_t existing_checksum(const wchar_t* path, bool* missing) {
    HANDLE file =
        CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    *missing = false;
    if (file == INVALID_HANDLE_VALUE) {
        DWORD error = GetLastError();
        *missing = error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
        return 0;
    }
    uint32_t checksum = 0;
    DWORD size = GetFileSize(file, nullptr);
    if (size != INVALID_FILE_SIZE) {
        HANDLE mapping = CreateFileMappingW(file, nullptr, PAGE_READONLY, 0, 0, nullptr);
        if (mapping != nullptr) {
            const void* view = MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0);
            if (view != nullptr) {
                checksum = static_cast<uint32_t>(crc32(0L, static_cast<const Bytef*>(view), size));
                if (checksum == 0)
                    checksum = 1;
                UnmapViewOfFile(view);
            }
            CloseHandle(mapping);
        }
    }
    CloseHandle(file);
    return checksum;
}

static void unpack_entry() {
    copy_bounded(entry_path, path_capacity_units, target_directory);
    append_unit_bounded(entry_path, path_capacity_units, L'\\');
    append_bounded(entry_path, path_capacity_units, entry_name);
    if (main_executable_path[0] == 0)
        copy_bounded(main_executable_path, path_capacity_units, entry_path);

    unsigned char fields[12];
    read_payload(fields, 8);
    read_payload(fields + 8, 4);
    uint64_t remaining = payload_format::get_u64_le(fields);
    uint32_t stored_checksum = payload_format::get_u32_le(fields + 8);

    HANDLE output = INVALID_HANDLE_VALUE;
    // Content that replaces a file goes through a partial file
    // (partial_file.h). An empty file cannot be seen half-written, and a name
    // with no room for the partial file's suffix leaves no choice: those are
    // written in place.
    bool in_place = remaining == 0;
    bool missing = false;
    if (existing_checksum(entry_path, &missing) != stored_checksum) {
        ensure_parent_directories(entry_path);
        if (!in_place && missing) {
            // A file that did not exist is written where it belongs, which
            // saves a rename per file on a first launch. Shared for deletion
            // only: another launch cannot take it for up to date while it is
            // written, and may still replace it with a complete copy.
            output = CreateFileW(entry_path, GENERIC_WRITE, FILE_SHARE_DELETE, nullptr, CREATE_NEW,
                                 0, nullptr);
            in_place = output != INVALID_HANDLE_VALUE;
        }
        if (!in_place) {
            output = create_partial_file();
            in_place = output == INVALID_HANDLE_VALUE;
        }
        if (in_place && output == INVALID_HANDLE_VALUE)
            output = CreateFileW(entry_path, GENERIC_WRITE, FILE_SHARE_WRITE, nullptr,
                                 CREATE_ALWAYS, 0, nullptr);
        if (output == INVALID_HANDLE_VALUE)
            fail_open_for_writing();
    }
    // An up-to-date entry is still read, so the stream stays in step.
    while (remaining > 0) {
        DWORD chunk =
            remaining < copy_buffer_bytes ? static_cast<DWORD>(remaining) : copy_buffer_bytes;
        read_payload(copy_buffer, chunk);
        remaining -= chunk;
        DWORD written = 0;
        if (output != INVALID_HANDLE_VALUE &&
            !WriteFile(output, copy_buffer, chunk, &written, nullptr))
            fail_with_system_error("Error, couldn't unpack file to target path.",
                                   last_system_error());
    }
    if (output == INVALID_HANDLE_VALUE)
        return;
    if (in_place)
        CloseHandle(output);
    // Another launch may have put this content in place meanwhile. Replacing
    // it again would gain nothing, and the replacing handle would keep that
    // launch's child from opening the file for a moment.
    else if (existing_checksum(entry_path, &missing) == stored_checksum)
        discard_partial_file(output);
    // A file in use cannot be replaced; that is only a failure when it does
    // not already hold this content (another launch may have put it there).
    else if (!put_partial_file_in_place(output) &&
             existing_checksum(entry_path, &missing) != stored_checksum)
        fail_open_for_writing();
}

void unpack_all() {
    while (read_entry_name())
        unpack_entry();
}
