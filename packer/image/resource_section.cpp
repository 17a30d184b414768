#include "packer/image/resource_section.h"

#include "packer/image/pe_records.h"
#include "packer/refusal.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <map>
#include <stdexcept>

namespace qarvel {

namespace {

void put_table(std::vector<unsigned char>& out, size_t id_entries) {
    pe::ResourceDirectoryTable table{};
    table.number_of_id_entries = static_cast<uint16_t>(id_entries);
    pe::append_record(out, table);
}

void put_entry(std::vector<unsigned char>& out, uint32_t id, uint32_t offset) {
    pe::append_record(out, pe::ResourceDirectoryEntry{id, offset});
}

size_t align8(size_t value) {
    return (value + 7) / 8 * 8;
}

} // namespace

ResourceSection::ResourceSection(std::vector<Resource> resources) {
    std::sort(resources.begin(), resources.end(), [](const Resource& a, const Resource& b) {
        return a.type != b.type ? a.type < b.type : a.id < b.id;
    });
    std::map<uint32_t, std::vector<const Resource*>> by_type;
    for (const auto& resource : resources)
        by_type[resource.type].push_back(&resource);

    // The layout first: the root, each type's table of names, each name's
    // table of one language, then the data entries, then the data.
    const size_t table = sizeof(pe::ResourceDirectoryTable);
    const size_t entry = sizeof(pe::ResourceDirectoryEntry);
    size_t names_start = table + by_type.size() * entry;
    size_t languages_start = names_start;
    for (const auto& [type, items] : by_type)
        languages_start += table + items.size() * entry;
    size_t data_entries_start = languages_start + resources.size() * (table + entry);
    size_t data_start = data_entries_start + resources.size() * sizeof(pe::ResourceDataEntry);
    std::vector<uint32_t> data_offsets;
    size_t data_end = align8(data_start);
    for (const auto& resource : resources) {
        data_offsets.push_back(static_cast<uint32_t>(data_end));
        data_end = align8(data_end + resource.data.size());
        // Offsets are 32-bit; a launcher stays far below that anyway.
        if (data_end > UINT32_MAX)
            throw Refusal("the launcher's resources would take more than 4 GiB");
    }

    std::vector<unsigned char>& out = bytes_;
    out.reserve(data_end);
    put_table(out, by_type.size());
    size_t name_table = names_start;
    for (const auto& [type, items] : by_type) {
        put_entry(out, type, pe::subdirectory_flag | static_cast<uint32_t>(name_table));
        name_table += table + items.size() * entry;
    }
    size_t index = 0;
    for (const auto& [type, items] : by_type) {
        put_table(out, items.size());
        for (const Resource* item : items) {
            put_entry(out, item->id,
                      pe::subdirectory_flag |
                          static_cast<uint32_t>(languages_start + index * (table + entry)));
            ++index;
        }
    }
    for (size_t i = 0; i < resources.size(); ++i) {
        put_table(out, 1);
        put_entry(out, pe::us_english,
                  static_cast<uint32_t>(data_entries_start + i * sizeof(pe::ResourceDataEntry)));
    }
    for (size_t i = 0; i < resources.size(); ++i) {
        data_rva_fields_.push_back(out.size() + offsetof(pe::ResourceDataEntry, data_rva));
        pe::append_record(
            out, pe::ResourceDataEntry{data_offsets[i],
                                       static_cast<uint32_t>(resources[i].data.size()), 0, 0});
    }
    for (size_t i = 0; i < resources.size(); ++i) {
        out.resize(data_offsets[i], 0);
        out.insert(out.end(), resources[i].data.begin(), resources[i].data.end());
    }
    out.resize(data_end, 0);
}

std::vector<unsigned char> ResourceSection::placed_at(uint32_t section_rva) const {
    std::vector<unsigned char> placed = bytes_;
    for (size_t field : data_rva_fields_) {
        uint32_t rva = pe::read_record<uint32_t>(placed, field) + section_rva;
        std::memcpy(placed.data() + field, &rva, sizeof rva);
    }
    return placed;
}

} // namespace qarvel
