#include "packer/image/icon_resources.h"

#include "packer/files/host_files.h"
#include "packer/image/pe_records.h"
#include "packer/refusal.h"

#include <fstream>
#include <iterator>
#include <stdexcept>

namespace qarvel {

std::vector<Resource> icon_resources(const std::vector<unsigned char>& ico,
                                     const std::string& shown_name) {
    auto refuse = [&](const std::string& why) {
        return Refusal(shown_name + " is not a sound icon (.ico) file: " + why);
    };
    // A reserved zero word, the type 1 and a count of images that is not
    // zero: anything else (a PNG, a cursor) would make a launcher whose icon
    // Windows does not show.
    if (ico.size() < sizeof(pe::IconDirectory))
        throw Refusal(shown_name + " is not an icon (.ico) file");
    auto directory = pe::read_record<pe::IconDirectory>(ico, 0);
    if (directory.reserved != 0 || directory.type != 1 || directory.count == 0)
        throw Refusal(shown_name + " is not an icon (.ico) file");
    if (ico.size() < sizeof directory + size_t{directory.count} * sizeof(pe::IconFileEntry))
        throw refuse("its list of images is cut short");

    std::vector<Resource> resources;
    std::vector<unsigned char> group;
    pe::append_record(group, directory);
    uint64_t image_bytes = 0;
    for (uint16_t i = 0; i < directory.count; ++i) {
        auto entry = pe::read_record<pe::IconFileEntry>(
            ico, sizeof directory + size_t{i} * sizeof(pe::IconFileEntry));
        if (entry.bytes_in_resource == 0 ||
            uint64_t{entry.image_offset} + entry.bytes_in_resource > ico.size())
            throw refuse("image " + std::to_string(i + 1) + " lies outside the file");
        // Each image is carried whole: images that share bytes would let a
        // small file grow into gigabytes of resources.
        image_bytes += entry.bytes_in_resource;
        if (image_bytes > ico.size())
            throw refuse("its images overlap");
        auto id = static_cast<uint16_t>(i + 1);
        resources.push_back({pe::rt_icon,
                             id,
                             {ico.begin() + entry.image_offset,
                              ico.begin() + entry.image_offset + entry.bytes_in_resource}});
        pe::IconGroupEntry group_entry{
            entry.width,  entry.height,    entry.color_count,       entry.reserved,
            entry.planes, entry.bit_count, entry.bytes_in_resource, id};
        pe::append_record(group, group_entry);
    }
    resources.push_back({pe::rt_group_icon, 1, std::move(group)});
    return resources;
}

std::vector<unsigned char> read_icon_file(const std::string& path) {
    std::ifstream file(utf8_path(path), std::ios::binary);
    if (!file)
        throw Refusal("no such icon file: " + path);
    std::vector<unsigned char> bytes((std::istreambuf_iterator<char>(file)),
                                     std::istreambuf_iterator<char>());
    if (file.bad())
        throw Refusal("cannot read " + path);
    return bytes;
}

} // namespace qarvel
