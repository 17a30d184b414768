#pragma once

// The on-disk records of a PE32+ image that qarvel-pack reads and writes
// ("PE Format"; "The .rsrc Section"; "NEWHEADER structure", "RESDIR
// structure", "ICONDIRENTRY" of the icon file format). One struct per record,
// each checked against its size on disk; they are copied to and from the
// file's bytes with memcpy on a little-endian host.

#include <cstdint>
#include <cstring>
#include <vector>

#if !defined(__BYTE_ORDER__) || __BYTE_ORDER__ != __ORDER_LITTLE_ENDIAN__
#error "the records are copied as they lie in memory: a little-endian host is needed"
#endif

namespace qarvel::pe {

#pragma pack(push, 1)

struct DosHeader {
    uint16_t magic; // "MZ"
    uint16_t unused[29];
    uint32_t new_header_offset; // e_lfanew
};
static_assert(sizeof(DosHeader) == 64);

struct FileHeader {
    uint16_t machine;
    uint16_t number_of_sections;
    uint32_t time_date_stamp;
    uint32_t pointer_to_symbol_table;
    uint32_t number_of_symbols;
    uint16_t size_of_optional_header;
    uint16_t characteristics;
};
static_assert(sizeof(FileHeader) == 20);

struct DataDirectory {
    uint32_t virtual_address;
    uint32_t size;
};
static_assert(sizeof(DataDirectory) == 8);

constexpr int directory_count = 16;
constexpr int resource_directory = 2;
constexpr int certificate_directory = 4;

struct OptionalHeader64 {
    uint16_t magic; // 0x20B
    uint8_t major_linker_version;
    uint8_t minor_linker_version;
    uint32_t size_of_code;
    uint32_t size_of_initialized_data;
    uint32_t size_of_uninitialized_data;
    uint32_t address_of_entry_point;
    uint32_t base_of_code;
    uint64_t image_base;
    uint32_t section_alignment;
    uint32_t file_alignment;
    uint16_t major_os_version;
    uint16_t minor_os_version;
    uint16_t major_image_version;
    uint16_t minor_image_version;
    uint16_t major_subsystem_version;
    uint16_t minor_subsystem_version;
    uint32_t win32_version_value;
    uint32_t size_of_image;
    uint32_t size_of_headers;
    uint32_t check_sum;
    uint16_t subsystem;
    uint16_t dll_characteristics;
    uint64_t size_of_stack_reserve;
    uint64_t size_of_stack_commit;
    uint64_t size_of_heap_reserve;
    uint64_t size_of_heap_commit;
    uint32_t loader_flags;
    uint32_t number_of_rva_and_sizes;
    DataDirectory directories[directory_count];
};
static_assert(sizeof(OptionalHeader64) == 240);

struct NtHeaders64 {
    uint32_t signature; // "PE\0\0"
    FileHeader file;
    OptionalHeader64 optional;
};
static_assert(sizeof(NtHeaders64) == 264);

struct SectionHeader {
    char name[8];
    uint32_t virtual_size;
    uint32_t virtual_address;
    uint32_t size_of_raw_data;
    uint32_t pointer_to_raw_data;
    uint32_t pointer_to_relocations;
    uint32_t pointer_to_line_numbers;
    uint16_t number_of_relocations;
    uint16_t number_of_line_numbers;
    uint32_t characteristics;
};
static_assert(sizeof(SectionHeader) == 40);

constexpr uint16_t dos_magic = 0x5A4D;
constexpr uint32_t nt_signature = 0x00004550;
constexpr uint16_t machine_amd64 = 0x8664;
constexpr uint16_t pe32_plus_magic = 0x20B;
constexpr uint16_t subsystem_windows_gui = 2;
constexpr uint16_t subsystem_windows_console = 3;
constexpr uint32_t section_initialized_data = 0x00000040;
constexpr uint32_t section_memory_read = 0x40000000;
// Read-only initialized data: the payload and the resources.
constexpr uint32_t read_only_data = section_initialized_data | section_memory_read;

// The resource tree: a directory table, its entries, and the data entries
// at the leaves.
struct ResourceDirectoryTable {
    uint32_t characteristics;
    uint32_t time_date_stamp;
    uint16_t major_version;
    uint16_t minor_version;
    uint16_t number_of_name_entries;
    uint16_t number_of_id_entries;
};
static_assert(sizeof(ResourceDirectoryTable) == 16);

struct ResourceDirectoryEntry {
    uint32_t id;
    uint32_t offset; // high bit: of a subdirectory table; else of a data entry
};
static_assert(sizeof(ResourceDirectoryEntry) == 8);
constexpr uint32_t subdirectory_flag = 0x80000000;

struct ResourceDataEntry {
    uint32_t data_rva;
    uint32_t size;
    uint32_t code_page;
    uint32_t reserved;
};
static_assert(sizeof(ResourceDataEntry) == 16);

constexpr uint32_t rt_icon = 3;
constexpr uint32_t rt_group_icon = 14;
constexpr uint32_t rt_rcdata = 10;
constexpr uint32_t rt_version = 16;
constexpr uint32_t rt_manifest = 24;

// An .ico file: ICONDIR, then one ICONDIRENTRY per image.
struct IconDirectory {
    uint16_t reserved;
    uint16_t type; // 1 for icons
    uint16_t count;
};
static_assert(sizeof(IconDirectory) == 6);

struct IconFileEntry {
    uint8_t width;
    uint8_t height;
    uint8_t color_count;
    uint8_t reserved;
    uint16_t planes;
    uint16_t bit_count;
    uint32_t bytes_in_resource;
    uint32_t image_offset;
};
static_assert(sizeof(IconFileEntry) == 16);

// The icon group resource: NEWHEADER (the IconDirectory's layout), then
// RESDIR entries that name RT_ICON resources by ID instead of file offsets.
struct IconGroupEntry {
    uint8_t width;
    uint8_t height;
    uint8_t color_count;
    uint8_t reserved;
    uint16_t planes;
    uint16_t bit_count;
    uint32_t bytes_in_resource;
    uint16_t icon_id;
};
static_assert(sizeof(IconGroupEntry) == 14);

// Version information ("VS_VERSIONINFO", "VS_FIXEDFILEINFO"): every node
// starts with this header, then its key, its value and its children.
struct VersionNodeHeader {
    uint16_t length;       // wLength: the node with its children
    uint16_t value_length; // wValueLength: words in text values, bytes in binary ones
    uint16_t type;         // wType: 1 for text, 0 for binary
};
static_assert(sizeof(VersionNodeHeader) == 6);

struct FixedFileInfo {
    uint32_t signature; // 0xFEEF04BD
    uint32_t struct_version;
    uint32_t file_version_ms;
    uint32_t file_version_ls;
    uint32_t product_version_ms;
    uint32_t product_version_ls;
    uint32_t file_flags_mask;
    uint32_t file_flags;
    uint32_t file_os;
    uint32_t file_type;
    uint32_t file_subtype;
    uint32_t file_date_ms;
    uint32_t file_date_ls;
};
static_assert(sizeof(FixedFileInfo) == 52);

// The value of "Translation": a language and a code page.
struct Translation {
    uint16_t language;
    uint16_t code_page;
};
static_assert(sizeof(Translation) == 4);

#pragma pack(pop)

// Every launcher resource and its version strings are filed under U.S.
// English, the strings in UTF-16.
constexpr uint16_t us_english = 0x0409;
constexpr uint16_t code_page_utf16 = 1200;
constexpr uint32_t fixed_file_info_signature = 0xFEEF04BD;

template <typename Record> Record read_record(const unsigned char* bytes, size_t offset) {
    Record record;
    std::memcpy(&record, bytes + offset, sizeof record);
    return record;
}

template <typename Record>
Record read_record(const std::vector<unsigned char>& bytes, size_t offset) {
    return read_record<Record>(bytes.data(), offset);
}

template <typename Record>
void append_record(std::vector<unsigned char>& bytes, const Record& record) {
    const auto* first = reinterpret_cast<const unsigned char*>(&record);
    bytes.insert(bytes.end(), first, first + sizeof record);
}

} // namespace qarvel::pe
