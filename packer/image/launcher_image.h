#pragma once

// Completing the launcher image that qarvel-pack carries: a copy of it with
// the payload and its index as read-only data sections, the launcher's
// constants written into their record, the resource section, the subsystem and the header
// fields that follow from them. The image is read and checked once; the
// payload, whose place follows from the image alone, is written first; the
// layout is then computed once from the sizes, as data, and turned into the
// headers in one place. Nothing follows the last section, so a signature
// can go after it.

#include "packer/files/temporary_file.h"
#include "packer/image/pe_reader.h"
#include "packer/image/resource_section.h"
#include "packer/refusal.h"

#include <cstdint>
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
    ResourceSection resources;
    bool windowed = false;
    // The child's fixed arguments and variables (format/child_arguments.h);
    // empty for a launcher without any, which then has no such section.
    std::vector<unsigned char> child_arguments;
};

// Where everything goes: the completed NT headers and section table, and
// the places and sizes they hold.
struct LauncherLayout {
    pe::NtHeaders64 nt{};
    std::vector<pe::SectionHeader> sections; // the image's, payload, index, arguments, .rsrc
    uint32_t payload_rva = 0, payload_offset = 0, payload_raw_bytes = 0;
    uint32_t index_rva = 0, index_offset = 0, index_raw_bytes = 0;
    uint32_t arguments_rva = 0, arguments_offset = 0, arguments_raw_bytes = 0;
    uint32_t resources_rva = 0, resources_offset = 0, resources_raw_bytes = 0;
    uint64_t file_bytes = 0;
};

// The carried image, read and checked once. Its constructor throws
// std::runtime_error with one line when the image cannot be completed.
class LauncherImage {
  public:
    explicit LauncherImage(std::vector<unsigned char> bytes);

    const std::vector<unsigned char>& bytes() const { return bytes_; }
    const PeHeaders& headers() const { return headers_; }
    // The payload section starts where the image ends, whatever its size.
    uint64_t payload_offset() const { return bytes_.size(); }
    size_t constants_offset() const { return constants_offset_; }

    // Throws Refusal with one line when a payload of payload_bytes, with
    // its index and the child's arguments, would make the launcher too large.
    void check_size(uint64_t payload_bytes, uint64_t index_bytes, uint64_t arguments_bytes,
                    uint64_t resource_bytes) const;
    // Throws as check_size does.
    LauncherLayout lay_out(uint64_t payload_bytes, uint64_t index_bytes, uint64_t arguments_bytes,
                           uint64_t resource_bytes, bool windowed) const;

  private:
    std::vector<unsigned char> bytes_;
    PeHeaders headers_;
    pe::OptionalHeader64 optional_{};
    uint64_t next_rva_ = 0; // the first RVA past the image's sections
    size_t constants_offset_ = 0;
};

// The image's headers with the layout written into them, but for the
// checksum: the one place a layout becomes bytes.
std::vector<unsigned char> launcher_headers(const LauncherImage& image,
                                            const LauncherLayout& layout);

// A payload written to its place, and the index that describes it.
struct WrittenPayload {
    uint64_t bytes = 0;
    std::vector<unsigned char> index;
};

// Writes a payload to a stream that stands at its place in the launcher,
// and returns its length and index.
using PayloadSource = std::function<WrittenPayload(std::ostream& out)>;

// Writes the finished launcher to the file, and closes it: the payload first, streamed from
// source straight into its place, then what follows it, then the headers
// and the section data before it, with the checksum summed on the way.
// Returns the launcher's size in bytes.
uint64_t write_launcher(const LauncherImage& image, const LauncherParts& parts,
                        const PayloadSource& source, TemporaryFile& file);

// The same with the payload's bytes and its index in memory.
uint64_t write_launcher(const LauncherImage& image, const LauncherParts& parts,
                        const unsigned char* payload, uint64_t payload_bytes,
                        const std::vector<unsigned char>& index, TemporaryFile& file);

// Throws Refusal naming the first text longer than its field.
void check_launcher_constants(const LauncherConstants& constants);

} // namespace qarvel
