#pragma once

// The resource section (.rsrc) of a launcher, written from its resources
// rather than by a Win32 resource API, so that any host makes the same bytes.

#include <cstdint>
#include <string>
#include <vector>

namespace qarvel {

struct Resource {
    uint32_t type = 0; // RT_ICON, RT_GROUP_ICON, RT_RCDATA, RT_VERSION, RT_MANIFEST
    uint32_t id = 0;
    std::vector<unsigned char> data;
};

// A resource section, built once: the type, name and language directories,
// each ID table in ascending order as FindResource's binary search needs,
// the data entries, then the data, 8-byte aligned. Only the data entries'
// RVAs depend on where the section goes.
class ResourceSection {
  public:
    explicit ResourceSection(std::vector<Resource> resources);
    size_t size() const { return bytes_.size(); }
    // The section's bytes for a section at section_rva.
    std::vector<unsigned char> placed_at(uint32_t section_rva) const;

  private:
    std::vector<unsigned char> bytes_; // as at RVA 0
    std::vector<size_t> data_rva_fields_;
};

} // namespace qarvel
