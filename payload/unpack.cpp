#include "payload/unpack.h"

#include "format/payload_format.h"
#include "format/payload_index.h"
#include "launcher/bounded_copy.h"
#include "launcher/failure.h"
#include "launcher/launcher_state.h"
#include "paths/directories.h"
#include "paths/environment.h"
#include "paths/protected_target.h"
#include "payload/cache_lock.h"
#include "payload/content_chunk.h"
#include "payload/entry_header.h"
#include "payload/index_reader.h"
#include "payload/partial_file.h"
#include "payload/payload_reader.h"
#include "payload/quick_check.h"

#include <cwchar>
#include <windows.h>
#include <zlib.h>

// What the file at the entry path is, measured against the entry.
enum class OnDisk {
    up_to_date,
    // The file or its folder does not exist.
    missing,
    // It exists and its content is not the entry's, or it cannot be read.
    differing,
    // Below a protected target: it exists, and programs without
    // administrator rights may change it. It is replaced by a new file,
    // never written over, which would keep its rights.
    unprotected,
};

// Mapped views of an existing file are at most this long, so that a file of
// any size is checksummed through a bounded piece of address space.
constexpr uint64_t checksum_view_bytes = uint64_t{64} << 20;

// The stored form of the CRC-32 of a file's first size bytes, read through
// a read-only mapping one view at a time (zlib's crc32 takes a 32-bit
// length); 0 when the file cannot be mapped or read.
static uint32_t mapped_file_checksum(HANDLE file, uint64_t size) {
    HANDLE mapping = CreateFileMappingW(file, nullptr, PAGE_READONLY, 0, 0, nullptr);
    if (mapping == nullptr)
        return 0;
    uLong crc = crc32(0L, Z_NULL, 0);
    for (uint64_t offset = 0; offset < size; offset += checksum_view_bytes) {
        uint64_t left = size - offset;
        SIZE_T length =
            static_cast<SIZE_T>(left < checksum_view_bytes ? left : checksum_view_bytes);
        const void* view = MapViewOfFile(mapping, FILE_MAP_READ, static_cast<DWORD>(offset >> 32),
                                         static_cast<DWORD>(offset), length);
        if (view == nullptr) {
            CloseHandle(mapping);
            return 0;
        }
        crc = crc32(crc, static_cast<const Bytef*>(view), static_cast<uInt>(length));
        UnmapViewOfFile(view);
    }
    CloseHandle(mapping);
    return payload_format::stored_checksum(static_cast<uint32_t>(crc));
}

// The up-to-date test. A file is up to date when its size is the entry's
// and the CRC-32 of its content, taken through a read-only mapping (a
// computed 0 counts as 1), equals the stored checksum; a file of another
// size differs without being read. An empty file cannot be mapped: it is up
// to date for an empty entry. A file that is missing, empty or unreadable
// counts as checksum 0, for which an entry stored with checksum 0 is up to
// date: such an entry (another producer's empty file stored with its plain
// CRC-32) is never created where it is missing.
//
// Below a protected target, the folders on the way are checked first, and
// a file counts only as itself (never through a link) and only while no
// one but administrators may change it.
static OnDisk compare_with_disk(const EntryFields& entry) {
    bool protected_target = target_directory_is_protected();
    if (protected_target)
        check_parent_directories(entry_path);
    HANDLE file = CreateFileW(
        entry_path, GENERIC_READ | (protected_target ? READ_CONTROL : 0),
        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
        FILE_ATTRIBUTE_NORMAL | (protected_target ? FILE_FLAG_OPEN_REPARSE_POINT : 0), nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        DWORD error = GetLastError();
        if (payload_format::file_is_up_to_date(false, 0, 0, entry.size, entry.checksum))
            return OnDisk::up_to_date;
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? OnDisk::missing
                                                                              : OnDisk::differing;
    }
    if (protected_target && !file_is_protected(file)) {
        CloseHandle(file);
        return OnDisk::unprotected;
    }
    LARGE_INTEGER size = {};
    bool sized = GetFileSizeEx(file, &size) != 0;
    uint64_t bytes = sized ? static_cast<uint64_t>(size.QuadPart) : 0;
    uint32_t checksum =
        sized && bytes != 0 && bytes == entry.size ? mapped_file_checksum(file, bytes) : 0;
    bool up_to_date =
        payload_format::file_is_up_to_date(sized, bytes, checksum, entry.size, entry.checksum);
    CloseHandle(file);
    return up_to_date ? OnDisk::up_to_date : OnDisk::differing;
}

// Where the entry's content goes.
struct Output {
    HANDLE file;
    // A partial file beside the entry path, to be put in place when
    // complete; otherwise the entry path itself.
    bool partial;
};

// The entry path opened for writing over whatever it holds.
static HANDLE open_in_place() {
    return CreateFileW(entry_path, GENERIC_WRITE, FILE_SHARE_WRITE, nullptr, CREATE_ALWAYS, 0,
                       nullptr);
}

[[noreturn]] static void fail_unreplaceable() {
    fail_unprotected_folder(entry_path, "lets programs without administrator rights change it, "
                                        "and cannot be replaced");
}

static Output open_output(const EntryFields& entry, OnDisk found) {
    ensure_parent_directories(entry_path);
    if (found == OnDisk::missing) {
        // A file that did not exist is written where it belongs: no child
        // of an earlier launch can be reading it, and a first launch saves
        // a rename per file. Shared for deletion only: no other launch
        // takes it for up to date while it is written.
        HANDLE file = CreateFileW(entry_path, GENERIC_WRITE, FILE_SHARE_DELETE,
                                  created_file_security(), CREATE_NEW, 0, nullptr);
        if (file != INVALID_HANDLE_VALUE)
            return {file, false};
    }
    // An empty file cannot be seen half-written, and a name with no room
    // for the partial file's suffix leaves no choice: those are written in
    // place, unless the file must be replaced.
    if (entry.size > 0 || found == OnDisk::unprotected) {
        HANDLE partial = create_partial_file();
        if (partial != INVALID_HANDLE_VALUE)
            return {partial, true};
    }
    if (found == OnDisk::unprotected)
        fail_unreplaceable();
    HANDLE file = open_in_place();
    if (file == INVALID_HANDLE_VALUE)
        fail_open_for_writing();
    return {file, false};
}

// Leaves nothing of the content under the entry's name: a partial file is
// deleted, and so is a file written in place, which was new or whose older
// content CREATE_ALWAYS already cut away.
static void discard_output(const Output& output) {
    if (output.partial) {
        discard_partial_file(output.file);
        return;
    }
    CloseHandle(output.file);
    DeleteFileW(entry_path);
}

// Puts the complete content of a partial file where it belongs.
static void put_in_place(const EntryFields& entry, OnDisk found, HANDLE partial) {
    if (put_partial_file_in_place(partial))
        return;
    if (found == OnDisk::unprotected) {
        discard_partial_file(partial);
        fail_unreplaceable();
    }
    // The rename fails when a program holds the file without sharing it
    // for deletion, even one that only reads its attributes. When the file
    // does not hold the content already, it is written over in place,
    // which such a program does not prevent.
    if (compare_with_disk(entry) == OnDisk::up_to_date) {
        discard_partial_file(partial);
        return;
    }
    HANDLE output = open_in_place();
    if (output == INVALID_HANDLE_VALUE) {
        discard_partial_file(partial);
        fail_open_for_writing();
    }
    if (!copy_partial_file_to(partial, output)) {
        DWORD error = last_system_error();
        discard_output({output, false});
        discard_partial_file(partial);
        fail_with_system_error("Error, couldn't unpack file to target path.", error);
    }
    CloseHandle(output);
    discard_partial_file(partial);
}

// An entry whose file is up to date is still read, so the stream stays in
// step.
static void skip_entry_content(const EntryFields& entry) {
    for (uint64_t remaining = entry.size; remaining > 0;) {
        DWORD chunk =
            remaining < content_chunk_bytes ? static_cast<DWORD>(remaining) : content_chunk_bytes;
        read_payload(copy_buffer, chunk);
        remaining -= chunk;
    }
}

// tested_before: the index pass found the file not up to date, before the
// lock; it is tested again under the lock.
static void unpack_entry(const EntryFields& entry, bool tested_before) {
    OnDisk found;
    if (tested_before) {
        bool taken_now = take_cache_lock();
        found = compare_with_disk(entry);
        if (taken_now && found == OnDisk::up_to_date)
            release_cache_lock();
    } else {
        found = compare_with_disk(entry);
        // Another launch may be writing this very file: once it is done, the
        // file is usually up to date, and this launch lets the next one go.
        if (found != OnDisk::up_to_date && take_cache_lock()) {
            found = compare_with_disk(entry);
            if (found == OnDisk::up_to_date)
                release_cache_lock();
        }
    }
    if (found == OnDisk::up_to_date) {
        skip_entry_content(entry);
        return;
    }
    Output output = open_output(entry, found);

    // Only what is written is checksummed.
    uLong checksum = crc32(0L, Z_NULL, 0);
    for (uint64_t remaining = entry.size; remaining > 0;) {
        DWORD chunk =
            remaining < content_chunk_bytes ? static_cast<DWORD>(remaining) : content_chunk_bytes;
        read_payload(copy_buffer, chunk);
        remaining -= chunk;
        checksum = crc32(checksum, copy_buffer, chunk);
        DWORD written = 0;
        if (!WriteFile(output.file, copy_buffer, chunk, &written, nullptr)) {
            // A full disk, say: no half-written file is left under the
            // entry's name, and the next launch with room writes it whole.
            DWORD error = last_system_error();
            discard_output(output);
            fail_with_system_error("Error, couldn't unpack file to target path.", error);
        }
    }
    // The decoder does not notice a changed byte inside stored content; the
    // checksum does, and a damaged file is neither kept nor run. A stored 0
    // is read as 1, as the packer stores it, so that an empty file that
    // another producer stored with 0 passes where it is written (over a
    // differing file; a missing one is not created, see compare_with_disk).
    if (payload_format::stored_checksum(static_cast<uint32_t>(checksum)) !=
        payload_format::stored_checksum(entry.checksum)) {
        discard_output(output);
        fail_plain("Error, couldn't decode attached data.");
    }
    if (output.partial)
        put_in_place(entry, found, output.file);
    else
        CloseHandle(output.file);
    // Partial files are only written beside files that exist.
    if (found == OnDisk::differing || found == OnDisk::unprotected)
        remove_leftover_partial_files();
}

static void set_entry_path() {
    copy_bounded(entry_path, path_capacity_units, target_directory);
    append_unit_bounded(entry_path, path_capacity_units, L'\\');
    append_bounded(entry_path, path_capacity_units, entry_name);
    if (main_executable_path[0] == 0)
        copy_bounded(main_executable_path, path_capacity_units, entry_path);
}

// One bit per index entry: set when the index pass found its file up to
// date, so that the pass over the stream does not test it again.
static unsigned char* up_to_date_entries;

static bool found_up_to_date(uint64_t entry_number) {
    return (up_to_date_entries[entry_number / 8] >> (entry_number % 8)) & 1;
}

// Tests every file against the index, before anything is decoded. True
// when every one is up to date.
static bool test_files_from_index() {
    uint64_t count = payload_index_entry_count();
    up_to_date_entries = static_cast<unsigned char*>(VirtualAlloc(
        nullptr, static_cast<SIZE_T>(count / 8 + 1), MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
    if (up_to_date_entries == nullptr)
        fail_plain("Error, couldn't allocate memory.");
    bool all_up_to_date = true;
    EntryFields entry;
    for (uint64_t i = 0; i < count; ++i) {
        read_index_entry(entry_name, &entry);
        set_entry_path();
        if (compare_with_disk(entry) == OnDisk::up_to_date)
            up_to_date_entries[i / 8] |= static_cast<unsigned char>(1u << (i % 8));
        else
            all_up_to_date = false;
    }
    return all_up_to_date;
}

// The stream's entry must be the index's next one: a launcher whose index
// and stream disagree is damaged.
static void check_against_index(const EntryFields& entry) {
    EntryFields listed;
    read_index_entry(index_entry_name, &listed);
    if (wcscmp(index_entry_name, entry_name) != 0 || listed.size != entry.size ||
        listed.checksum != entry.checksum)
        fail_plain("Error, couldn't decode attached data.");
}

// The single pass over the stream. With an index, files the index pass
// found up to date are not tested again.
static void unpack_stream(bool indexed) {
    open_payload_reader();
    if (indexed)
        rewind_payload_index();
    EntryFields entry;
    for (uint64_t i = 0;; ++i) {
        EntryHeaderRead header = read_entry_header(entry_name, &entry);
        if (header == EntryHeaderRead::end_marker) {
            if (indexed && i != payload_index_entry_count())
                fail_plain("Error, couldn't decode attached data.");
            break;
        }
        if (header == EntryHeaderRead::name_too_long)
            fail_bounds();
        set_entry_path();
        if (indexed)
            check_against_index(entry);
        if (indexed && found_up_to_date(i))
            skip_entry_content(entry);
        else
            unpack_entry(entry, indexed);
    }
    release_cache_lock();
    close_payload_reader();
}

// The main executable is the first entry, whether or not any is read from
// the stream.
static void set_main_executable_path() {
    EntryFields entry;
    rewind_payload_index();
    if (payload_index_entry_count() > 0) {
        read_index_entry(entry_name, &entry);
        set_entry_path();
    }
}

void unpack_all() {
    bool indexed = open_payload_index();
    // An elevated launch judges every file's descriptor, which means
    // opening each one: the quick check would save it nothing.
    bool quick = indexed && (payload_index_options() & payload_index::quick_check) != 0 &&
                 !target_directory_is_protected();
    if (quick && files_match_check_record()) {
        set_main_executable_path();
        return;
    }
    if (!indexed || !test_files_from_index())
        unpack_stream(indexed);
    if (quick)
        write_check_record();
}
