// The work floors: each mode does one part of a launch's work the plainest
// way, with the launcher's buffer sizes and system calls, and prints the
// microseconds that part took. Setting up its inputs is not timed.
//   work_floors decompress PAYLOAD
//   work_floors crc LIST ROOT
//   work_floors write LIST SOURCE DEST
//   work_floors decompress-crc PAYLOAD LIST ROOT
//   work_floors list LIST ROOT
// LIST names the files, one relative path a line, in payload order.
#include "bench_common.h"
#include "format/payload_format.h"

#include <windows.h>
#include <zlib.h>
#include <zstd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <set>
#include <string>
#include <vector>

namespace {

constexpr size_t output_buffer_bytes = 131072;
constexpr size_t copy_buffer_bytes = 32768;

[[noreturn]] void fail(const char* what) {
    std::fprintf(stderr, "work_floors: %s (error %lu)\n", what, GetLastError());
    std::exit(1);
}

std::vector<std::wstring> read_list(const wchar_t* list_path) {
    std::ifstream in(list_path, std::ios::binary);
    if (!in)
        fail("cannot read the list");
    std::vector<std::wstring> names;
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (!line.empty())
            names.push_back(widen(line));
    }
    return names;
}

// The payload stays in a read-only view, as it does in the launcher's image.
struct MappedPayload {
    HANDLE file;
    HANDLE mapping;
    const unsigned char* bytes;
    size_t size;
};

MappedPayload map_payload(const wchar_t* payload_path) {
    HANDLE file = CreateFileW(payload_path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        fail("cannot open the payload");
    LARGE_INTEGER size;
    GetFileSizeEx(file, &size);
    HANDLE mapping = CreateFileMappingW(file, nullptr, PAGE_READONLY, 0, 0, nullptr);
    const auto* bytes =
        static_cast<const unsigned char*>(MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0));
    if (bytes == nullptr || static_cast<size_t>(size.QuadPart) < payload_format::header_bytes)
        fail("cannot map the payload");
    return {file, mapping, bytes, static_cast<size_t>(size.QuadPart)};
}

void unmap_payload(const MappedPayload& payload) {
    UnmapViewOfFile(payload.bytes);
    CloseHandle(payload.mapping);
    CloseHandle(payload.file);
}

// The frame after the header; the decoder stops at its end.
ZSTD_inBuffer frame_of(const MappedPayload& payload) {
    return {payload.bytes + payload_format::header_bytes,
            payload.size - payload_format::header_bytes, 0};
}

double decompress(const wchar_t* payload_path) {
    MappedPayload payload = map_payload(payload_path);
    double start = now_us();
    ZSTD_DCtx* context = ZSTD_createDCtx();
    auto* buffer = static_cast<unsigned char*>(std::malloc(output_buffer_bytes));
    ZSTD_inBuffer input = frame_of(payload);
    size_t result = 0;
    unsigned long long decoded = 0;
    do {
        ZSTD_outBuffer output{buffer, output_buffer_bytes, 0};
        result = ZSTD_decompressStream(context, &output, &input);
        if (ZSTD_isError(result))
            fail("cannot decode the payload");
        decoded += output.pos;
    } while (result != 0);
    std::free(buffer);
    ZSTD_freeDCtx(context);
    double elapsed = now_us() - start;

    std::fprintf(stderr, "decoded %llu bytes\n", decoded);
    unmap_payload(payload);
    return elapsed;
}

// The up-to-date test of one file: open, size, map, checksum, unmap, close.
uLong checksum_file(const std::wstring& path) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        fail("cannot open a file of the tree");
    uLong checksum = 0;
    LARGE_INTEGER size;
    if (GetFileSizeEx(file, &size) && size.QuadPart > 0) {
        HANDLE mapping = CreateFileMappingW(file, nullptr, PAGE_READONLY, 0, 0, nullptr);
        const void* view = MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0);
        if (view == nullptr)
            fail("cannot map a file of the tree");
        checksum = crc32(0L, static_cast<const Bytef*>(view), static_cast<uInt>(size.QuadPart));
        UnmapViewOfFile(view);
        CloseHandle(mapping);
    }
    CloseHandle(file);
    return checksum;
}

double checksum_tree(const wchar_t* list_path, const std::wstring& root) {
    std::vector<std::wstring> names = read_list(list_path);
    double start = now_us();
    uLong combined = 0;
    for (const std::wstring& name : names)
        combined ^= checksum_file(root + L"\\" + name);
    double elapsed = now_us() - start;
    std::fprintf(stderr, "checked %zu files (%08lx)\n", names.size(), combined);
    return elapsed;
}

// What the quick check needs of the tree: each folder listed once, its
// entries' sizes, times and attributes as the listing gives them.
double list_folders(const wchar_t* list_path, const std::wstring& root) {
    std::vector<std::wstring> names = read_list(list_path);
    std::set<std::wstring> folders{root};
    for (const std::wstring& name : names)
        for (size_t slash = name.find(L'\\'); slash != std::wstring::npos;
             slash = name.find(L'\\', slash + 1))
            folders.insert(root + L"\\" + name.substr(0, slash));
    double start = now_us();
    size_t listed = 0;
    uint64_t combined = 0;
    for (const std::wstring& folder : folders) {
        WIN32_FIND_DATAW found;
        HANDLE search = FindFirstFileExW((folder + L"\\*").c_str(), FindExInfoBasic, &found,
                                         FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH);
        if (search == INVALID_HANDLE_VALUE)
            fail("cannot list a folder of the tree");
        do {
            ++listed;
            combined ^= (uint64_t{found.nFileSizeHigh} << 32 | found.nFileSizeLow) ^
                        found.ftLastWriteTime.dwLowDateTime ^ found.dwFileAttributes;
        } while (FindNextFileW(search, &found));
        FindClose(search);
    }
    double elapsed = now_us() - start;
    std::fprintf(stderr, "listed %zu folders, %zu entries (%016llx)\n", folders.size(), listed,
                 static_cast<unsigned long long>(combined));
    return elapsed;
}

// Decoded bytes taken from the one output buffer, without a further copy.
struct StreamCursor {
    ZSTD_DCtx* context;
    ZSTD_inBuffer input;
    unsigned char* buffer;
    size_t decoded = 0;
    size_t taken = 0;

    const unsigned char* take(size_t wanted, size_t* got) {
        // A decode call may take input and give no output yet.
        while (taken == decoded) {
            if (input.pos == input.size)
                fail("the payload ends early");
            ZSTD_outBuffer output{buffer, output_buffer_bytes, 0};
            if (ZSTD_isError(ZSTD_decompressStream(context, &output, &input)))
                fail("cannot decode the payload");
            decoded = output.pos;
            taken = 0;
        }
        *got = std::min(wanted, decoded - taken);
        taken += *got;
        return buffer + taken - *got;
    }

    // Checks that the stream holds these bytes next, to stay sure of being in step.
    void expect(const void* bytes, size_t count) {
        const auto* wanted = static_cast<const unsigned char*>(bytes);
        for (size_t have = 0, got = 0; have < count; have += got) {
            const unsigned char* next = take(count - have, &got);
            if (std::memcmp(next, wanted + have, got) != 0)
                fail("the list is not the payload's");
        }
    }

    void skip(uint64_t count) {
        for (size_t got = 0; count > 0; count -= got)
            take(static_cast<size_t>(std::min<uint64_t>(count, output_buffer_bytes)), &got);
    }
};

// A single pass has to do the two floors above interleaved: each file's
// up-to-date test comes between decoding its name and its content. Under
// Wine that order alone makes the same system calls dearer, so this floor
// shows the cost of the order apart from the launcher's own.
double decompress_and_checksum(const wchar_t* payload_path, const wchar_t* list_path,
                               const std::wstring& root) {
    std::vector<std::wstring> names = read_list(list_path);
    MappedPayload payload = map_payload(payload_path);
    double start = now_us();
    StreamCursor stream{ZSTD_createDCtx(), frame_of(payload),
                        static_cast<unsigned char*>(std::malloc(output_buffer_bytes))};
    uLong combined = 0;
    for (const std::wstring& name : names) {
        // Each entry: its name and terminator in UTF-16, then the size (8
        // bytes) and checksum (4 bytes) fields, then the content.
        stream.expect(name.c_str(), (name.size() + 1) * sizeof(wchar_t));
        unsigned char fields[12];
        for (size_t have = 0, got = 0; have < sizeof fields; have += got) {
            const unsigned char* next = stream.take(sizeof fields - have, &got);
            std::memcpy(fields + have, next, got);
        }
        combined ^= checksum_file(root + L"\\" + name);
        stream.skip(payload_format::get_u64_le(fields));
    }
    stream.expect(L"", sizeof(wchar_t)); // the end marker
    std::free(stream.buffer);
    ZSTD_freeDCtx(stream.context);
    double elapsed = now_us() - start;

    std::fprintf(stderr, "decoded and checked %zu files (%08lx)\n", names.size(), combined);
    unmap_payload(payload);
    return elapsed;
}

// A fresh tree: each folder made once, each file written in 32 KiB chunks.
double write_tree(const wchar_t* list_path, const std::wstring& source,
                  const std::wstring& destination) {
    std::vector<std::wstring> names = read_list(list_path);
    std::vector<std::string> contents;
    for (const std::wstring& name : names) {
        std::ifstream in((source + L"\\" + name).c_str(), std::ios::binary);
        if (!in)
            fail("cannot read a source file");
        contents.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

    double start = now_us();
    std::set<std::wstring> made;
    CreateDirectoryW(destination.c_str(), nullptr);
    for (size_t index = 0; index < names.size(); ++index) {
        std::wstring path = destination + L"\\" + names[index];
        for (size_t slash = path.find(L'\\', destination.size() + 1); slash != std::wstring::npos;
             slash = path.find(L'\\', slash + 1)) {
            std::wstring folder = path.substr(0, slash);
            if (made.insert(folder).second && !CreateDirectoryW(folder.c_str(), nullptr) &&
                GetLastError() != ERROR_ALREADY_EXISTS)
                fail("cannot make a folder");
        }
        HANDLE file =
            CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        if (file == INVALID_HANDLE_VALUE)
            fail("cannot create a file");
        const std::string& bytes = contents[index];
        for (size_t offset = 0; offset < bytes.size(); offset += copy_buffer_bytes) {
            DWORD chunk = static_cast<DWORD>(std::min(copy_buffer_bytes, bytes.size() - offset));
            DWORD written = 0;
            if (!WriteFile(file, bytes.data() + offset, chunk, &written, nullptr))
                fail("cannot write a file");
        }
        CloseHandle(file);
    }
    double elapsed = now_us() - start;
    std::fprintf(stderr, "wrote %zu files\n", names.size());
    return elapsed;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    std::wstring mode = argc > 1 ? argv[1] : L"";
    double elapsed_us = 0;
    if (mode == L"decompress" && argc == 3)
        elapsed_us = decompress(argv[2]);
    else if (mode == L"crc" && argc == 4)
        elapsed_us = checksum_tree(argv[2], argv[3]);
    else if (mode == L"write" && argc == 5)
        elapsed_us = write_tree(argv[2], argv[3], argv[4]);
    else if (mode == L"decompress-crc" && argc == 5)
        elapsed_us = decompress_and_checksum(argv[2], argv[3], argv[4]);
    else if (mode == L"list" && argc == 4)
        elapsed_us = list_folders(argv[2], argv[3]);
    else {
        std::fprintf(
            stderr, "usage: work_floors decompress PAYLOAD | crc LIST ROOT | write LIST SOURCE DEST"
                    " | decompress-crc PAYLOAD LIST ROOT | list LIST ROOT\n");
        return 2;
    }
    std::printf("%.0f\n", elapsed_us);
    return 0;
}
