#pragma once

// Completing the launcher image that qarvel-pack carries: a copy of it with
// the payload as a read-only data section, the build-time constants written
// into their record, the resource section, the subsystem and the header
// fields that follow from them. The layout is computed whole first, then the
// file is written in one pass; nothing follows the last section, so a
// signature can go after it.

#include "packer/files/temporary_file.h"
#include "packer/image/resource_section.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

namespace qarvel {

// The texts a launcher reads at run time, UTF-16 without terminators.
struct LauncherConstants {
    std::u16string target_spec, company, product, version, elevated_target_spec;
};

// Windows does not load images of 2 GiB or more, and loads have been seen to
// fail from about 1.8 GiB: a finished launcher stays at or below this.
constexpr uint64_t largest_launcher_bytes = 0x70000000; // 1792 MiB

struct LauncherParts {
    LauncherConstants constants;
    std::vector<Resource> resources;
    bool windowed = false;
};

// Where everything goes, from the image and the sizes alone.
struct LauncherLayout {
    std::vector<unsigned char> headers; // the image's headers, completed but for the checksum
    size_t body_offset = 0;             // the image's section data, from here to its end
    uint32_t payload_rva = 0, payload_offset = 0, payload_raw_bytes = 0;
    uint32_t resources_rva = 0, resources_offset = 0, resources_raw_bytes = 0;
    uint64_t file_bytes = 0;
    size_t constants_offset = 0; // of the record, in the file
};

// Throws std::runtime_error with one line when the image cannot be completed
// or when a payload of payload_bytes would make the launcher too large.
LauncherLayout lay_out_launcher(const std::vector<unsigned char>& image, uint64_t payload_bytes,
                                uint64_t resource_bytes, bool windowed);

// Writes a payload to a stream that stands at its place in the launcher,
// and returns its length.
using PayloadSource = std::function<uint64_t(std::ostream& out)>;

// Writes the finished launcher to the file, and closes it: the payload first, streamed from
// source straight into its place, then what follows it, then the headers
// and the section data before it, with the checksum summed on the way.
// Returns the launcher's size in bytes.
uint64_t write_launcher(const std::vector<unsigned char>& image, const LauncherParts& parts,
                        const PayloadSource& source, TemporaryFile& file);

// The same with the payload's bytes in memory.
uint64_t write_launcher(const std::vector<unsigned char>& image, const LauncherParts& parts,
                        const unsigned char* payload, uint64_t payload_bytes, TemporaryFile& file);

// Throws std::runtime_error naming the first text longer than its field.
void check_launcher_constants(const LauncherConstants& constants);

// The header checksum of a whole file as CheckSumMappedFile computes it: its
// 16-bit words summed with carries folded, the checksum field read as zero,
// plus the file's length.
class ImageChecksum {
  public:
    explicit ImageChecksum(uint64_t checksum_field_offset) : field_(checksum_field_offset) {}
    // Adds bytes that start at the file's offset, in any order and pieces.
    void add(uint64_t offset, const unsigned char* bytes, size_t size);
    uint32_t finish(uint64_t file_bytes) const;

  private:
    void add_byte(uint64_t offset, unsigned char byte);

    uint64_t field_;
    uint64_t sum_ = 0;
};

} // namespace qarvel
