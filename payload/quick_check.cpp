#include "payload/quick_check.h"

#include "format/payload_format.h"
#include "launcher/bounded_copy.h"
#include "launcher/failure.h"
#include "launcher/launcher_state.h"
#include "payload/cache_file_names.h"
#include "payload/cache_lock.h"
#include "payload/index_reader.h"

#include <cstdlib>
#include <cstring>
#include <windows.h>
#include <zlib.h>

// The record: a header, then one Seen per index entry, in index order.
//   magic (8) | checksum (u32) | zero (u32) | index checksum (u32)
//   | zero (u32) | entry count (u64) | entries
// The checksum is the CRC-32 of everything after it, so a record cut short
// by a killed launch, or damaged, is told from a whole one.
struct RecordHeader {
    unsigned char magic[8];
    uint32_t checksum;
    uint32_t zero;
    uint32_t index_checksum;
    uint32_t zero_too;
    uint64_t entry_count;
};
static_assert(sizeof(RecordHeader) == 32, "no padding in the record");

// One file as the listing shows it.
struct Seen {
    uint64_t size;
    uint64_t last_write_time;
    uint64_t creation_time;
    uint32_t attributes;
    uint32_t listed; // 0 when the listing has no such file
};
static_assert(sizeof(Seen) == 32, "no padding in the record");

constexpr unsigned char record_magic[8] = {'Q', 'a', 'r', 'v', 'C', 'h', 'k', '1'};

// The payload's names, each zero-terminated, in index order, and where
// each one's file name starts after its folder.
static wchar_t* names;
static wchar_t** name_of;
static size_t* file_name_at;
// Entry numbers sorted by folder, then file name.
static uint64_t* by_folder;
// What the listing shows now, one per entry.
static Seen* seen;
static uint64_t entry_count;

[[noreturn]] static void fail_memory() {
    fail_plain("Error, couldn't allocate memory.");
}

static void* allocate(uint64_t bytes) {
    void* memory = calloc(1, static_cast<size_t>(bytes ? bytes : 1));
    if (memory == nullptr)
        fail_memory();
    return memory;
}

// File names compare as Windows compares them: ordinal, ignoring case.
static int compare_names(const wchar_t* a, int a_units, const wchar_t* b, int b_units) {
    return CompareStringOrdinal(a, a_units, b, b_units, TRUE) - CSTR_EQUAL;
}

static int compare_entries(const void* left, const void* right) {
    uint64_t a = *static_cast<const uint64_t*>(left), b = *static_cast<const uint64_t*>(right);
    int by_folder_name = compare_names(name_of[a], static_cast<int>(file_name_at[a]), name_of[b],
                                       static_cast<int>(file_name_at[b]));
    if (by_folder_name != 0)
        return by_folder_name;
    return compare_names(name_of[a] + file_name_at[a], -1, name_of[b] + file_name_at[b], -1);
}

// Reads every name of the index, sized in a first pass.
static void read_names() {
    entry_count = payload_index_entry_count();
    uint64_t units = 0;
    rewind_payload_index();
    for (uint64_t i = 0; i < entry_count; ++i) {
        EntryFields fields;
        read_index_entry(entry_name, &fields);
        units += wcslen(entry_name) + 1;
    }
    names = static_cast<wchar_t*>(allocate(units * sizeof(wchar_t)));
    name_of = static_cast<wchar_t**>(allocate(entry_count * sizeof(wchar_t*)));
    file_name_at = static_cast<size_t*>(allocate(entry_count * sizeof(size_t)));
    by_folder = static_cast<uint64_t*>(allocate(entry_count * sizeof(uint64_t)));
    seen = static_cast<Seen*>(allocate(entry_count * sizeof(Seen)));
    rewind_payload_index();
    wchar_t* next = names;
    for (uint64_t i = 0; i < entry_count; ++i) {
        EntryFields fields;
        read_index_entry(next, &fields);
        name_of[i] = next;
        size_t length = wcslen(next);
        file_name_at[i] = 0;
        for (size_t u = 0; u < length; ++u)
            if (next[u] == L'\\')
                file_name_at[i] = u + 1;
        by_folder[i] = i;
        next += length + 1;
    }
    qsort(by_folder, static_cast<size_t>(entry_count), sizeof(uint64_t), compare_entries);
}

// One file of a folder's listing.
struct Listed {
    wchar_t name[MAX_PATH];
    Seen seen;
};

static Listed* listing;
static size_t listing_capacity;

static int compare_listed(const void* left, const void* right) {
    return compare_names(static_cast<const Listed*>(left)->name, -1,
                         static_cast<const Listed*>(right)->name, -1);
}

static uint64_t two_words(DWORD high, DWORD low) {
    return uint64_t{high} << 32 | low;
}

// Lists the folder of entry first (its folder part, in the target) once,
// sorted by name; returns how many files it holds, 0 when it cannot be
// listed.
static size_t list_folder(uint64_t first) {
    wchar_t pattern[path_capacity_units];
    copy_bounded(pattern, path_capacity_units, target_directory);
    append_unit_bounded(pattern, path_capacity_units, L'\\');
    for (size_t u = 0; u < file_name_at[first]; ++u)
        append_unit_bounded(pattern, path_capacity_units, name_of[first][u]);
    append_unit_bounded(pattern, path_capacity_units, L'*');
    WIN32_FIND_DATAW found;
    // FindExInfoBasic skips the short names, which nothing here reads.
    HANDLE search = FindFirstFileExW(pattern, FindExInfoBasic, &found, FindExSearchNameMatch,
                                     nullptr, FIND_FIRST_EX_LARGE_FETCH);
    if (search == INVALID_HANDLE_VALUE)
        return 0;
    size_t count = 0;
    do {
        if (count == listing_capacity) {
            listing_capacity = listing_capacity ? 2 * listing_capacity : 256;
            listing = static_cast<Listed*>(realloc(listing, listing_capacity * sizeof(Listed)));
            if (listing == nullptr)
                fail_memory();
        }
        Listed& file = listing[count++];
        memcpy(file.name, found.cFileName, sizeof file.name);
        file.seen = {
            two_words(found.nFileSizeHigh, found.nFileSizeLow),
            two_words(found.ftLastWriteTime.dwHighDateTime, found.ftLastWriteTime.dwLowDateTime),
            two_words(found.ftCreationTime.dwHighDateTime, found.ftCreationTime.dwLowDateTime),
            found.dwFileAttributes, 1};
    } while (FindNextFileW(search, &found));
    FindClose(search);
    qsort(listing, count, sizeof(Listed), compare_listed);
    return count;
}

// Fills seen[] from one listing of each folder of the payload.
static void look_at_files() {
    if (names == nullptr)
        read_names();
    for (uint64_t start = 0; start < entry_count;) {
        uint64_t first = by_folder[start];
        size_t listed = list_folder(first);
        size_t at = 0;
        uint64_t i = start;
        for (; i < entry_count; ++i) {
            uint64_t entry = by_folder[i];
            if (compare_names(name_of[entry], static_cast<int>(file_name_at[entry]), name_of[first],
                              static_cast<int>(file_name_at[first])) != 0)
                break;
            const wchar_t* file_name = name_of[entry] + file_name_at[entry];
            while (at < listed && compare_names(listing[at].name, -1, file_name, -1) < 0)
                ++at;
            if (at < listed && compare_names(listing[at].name, -1, file_name, -1) == 0)
                seen[entry] = listing[at].seen;
            else
                seen[entry] = {};
        }
        start = i;
    }
}

static void record_path(wchar_t* path) {
    copy_bounded(path, path_capacity_units, target_directory);
    append_unit_bounded(path, path_capacity_units, L'\\');
    append_bounded(path, path_capacity_units, reinterpret_cast<const wchar_t*>(check_record_name));
}

static uint32_t record_checksum(const unsigned char* record, uint64_t bytes) {
    const size_t after = offsetof(RecordHeader, checksum) + sizeof(uint32_t);
    return static_cast<uint32_t>(
        crc32(crc32(0L, Z_NULL, 0), record + after, static_cast<uInt>(bytes - after)));
}

bool files_match_check_record() {
    wchar_t path[path_capacity_units];
    record_path(path);
    HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    uint64_t count = payload_index_entry_count();
    uint64_t bytes = sizeof(RecordHeader) + count * sizeof(Seen);
    LARGE_INTEGER size = {};
    // zlib's crc32 takes a 32-bit length: a record that long is none of ours.
    if (!GetFileSizeEx(file, &size) || static_cast<uint64_t>(size.QuadPart) != bytes ||
        bytes > 0x7FFFFFFF) {
        CloseHandle(file);
        return false;
    }
    auto* record = static_cast<unsigned char*>(allocate(bytes));
    DWORD read = 0;
    bool whole = ReadFile(file, record, static_cast<DWORD>(bytes), &read, nullptr) && read == bytes;
    CloseHandle(file);
    RecordHeader header;
    memcpy(&header, record, sizeof header);
    bool matches = whole && memcmp(header.magic, record_magic, sizeof record_magic) == 0 &&
                   header.checksum == record_checksum(record, bytes) &&
                   header.index_checksum == payload_index_checksum() && header.entry_count == count;
    if (matches) {
        look_at_files();
        matches = memcmp(record + sizeof header, seen, count * sizeof(Seen)) == 0;
    }
    free(record);
    return matches;
}

void write_check_record() {
    if (!take_cache_lock())
        return;
    look_at_files();
    uint64_t bytes = sizeof(RecordHeader) + entry_count * sizeof(Seen);
    bool every_file_listed = bytes <= 0x7FFFFFFF;
    for (uint64_t i = 0; i < entry_count && every_file_listed; ++i)
        every_file_listed = seen[i].listed != 0;
    if (!every_file_listed) {
        release_cache_lock();
        return;
    }
    auto* record = static_cast<unsigned char*>(allocate(bytes));
    RecordHeader header = {};
    memcpy(header.magic, record_magic, sizeof record_magic);
    header.index_checksum = payload_index_checksum();
    header.entry_count = entry_count;
    memcpy(record, &header, sizeof header);
    memcpy(record + sizeof header, seen, entry_count * sizeof(Seen));
    header.checksum = record_checksum(record, bytes);
    memcpy(record, &header, sizeof header);

    wchar_t path[path_capacity_units];
    record_path(path);
    // Hidden, as the lock file is; CREATE_ALWAYS over a hidden file must ask
    // for the attribute too ("CreateFileW").
    HANDLE file =
        CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_HIDDEN, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        DWORD written = 0;
        bool whole = WriteFile(file, record, static_cast<DWORD>(bytes), &written, nullptr) &&
                     written == bytes;
        CloseHandle(file);
        // A record not written whole fails its checksum; none is better.
        if (!whole)
            DeleteFileW(path);
    }
    free(record);
    release_cache_lock();
}
