#include "packer/image/launcher_image.h"

#include "format/image_layout.h"
#include "packer/image/image_checksum.h"
#include "packer/image/pe_records.h"
#include "packer/refusal.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <stdexcept>
#include <streambuf>
#include <utility>

namespace qarvel {
namespace {

Refusal unfit(const std::string& why) {
    return Refusal("the launcher image qarvel-pack carries cannot be completed: " + why);
}

uint64_t align_up(uint64_t value, uint64_t alignment) {
    return (value + alignment - 1) / alignment * alignment;
}

bool named(const pe::SectionHeader& section, const char* name) {
    return std::strncmp(section.name, name, sizeof section.name) == 0;
}

pe::SectionHeader section_header(const char* name, uint32_t rva, uint64_t virtual_size,
                                 uint32_t offset, uint32_t raw_bytes) {
    pe::SectionHeader header{};
    std::memcpy(header.name, name, std::min(std::strlen(name), sizeof header.name));
    header.virtual_size = static_cast<uint32_t>(virtual_size);
    header.virtual_address = rva;
    header.size_of_raw_data = raw_bytes;
    header.pointer_to_raw_data = offset;
    header.characteristics = pe::read_only_data;
    return header;
}

void check_length(const std::u16string& text, size_t capacity_units, const char* what) {
    if (text.size() >= capacity_units)
        throw Refusal(std::string(what) + " is " + std::to_string(text.size()) +
                      " UTF-16 units long; a launcher holds at most " +
                      std::to_string(capacity_units - 1));
}

void put_text(std::vector<unsigned char>& body, size_t offset, size_t capacity_units,
              const std::u16string& text) {
    std::fill(body.begin() + offset, body.begin() + offset + 2 * capacity_units, 0);
    for (size_t i = 0; i < text.size(); ++i) {
        body[offset + 2 * i] = static_cast<unsigned char>(text[i]);
        body[offset + 2 * i + 1] = static_cast<unsigned char>(text[i] >> 8);
    }
}

} // namespace

void check_launcher_constants(const LauncherConstants& constants) {
    check_length(constants.target_spec, image_layout::target_spec_capacity_units,
                 "the target spec");
    check_length(constants.company, image_layout::company_capacity_units, "the company");
    check_length(constants.product, image_layout::product_capacity_units, "the product");
    check_length(constants.version, image_layout::version_capacity_units, "the version");
    check_length(constants.elevated_target_spec, image_layout::elevated_target_spec_capacity_units,
                 "the elevated target spec");
}

LauncherImage::LauncherImage(std::vector<unsigned char> bytes)
    : bytes_(std::move(bytes)), headers_(read_pe_headers(bytes_)) {
    if (headers_.shape == PeShape::not_mz || headers_.shape == PeShape::mz_cut_short)
        throw unfit("it is not a Windows executable");
    if (headers_.nt_offset + sizeof(pe::NtHeaders64) > bytes_.size())
        throw unfit("its headers are cut short");
    const auto& file = headers_.file;
    if (headers_.shape != PeShape::windows_image || file.machine != pe::machine_amd64 ||
        !headers_.optional64 || headers_.optional64->number_of_rva_and_sizes != pe::directory_count)
        throw unfit("it is not an x86-64 PE32+ image");
    optional_ = *headers_.optional64;
    if (file.pointer_to_symbol_table != 0)
        throw unfit("it carries a symbol table after its sections");
    if (!headers_.sections_whole)
        throw unfit("its section table is cut short");

    const uint64_t section_alignment = optional_.section_alignment;
    const uint64_t file_alignment = optional_.file_alignment;
    if (file_alignment == 0 || section_alignment < file_alignment ||
        optional_.size_of_headers % file_alignment != 0 || bytes_.size() % file_alignment != 0)
        throw unfit("its alignments are not an image's");

    next_rva_ = optional_.size_of_headers;
    uint64_t first_raw = bytes_.size(), raw_end = optional_.size_of_headers;
    for (const auto& section : headers_.sections) {
        if (named(section, image_layout::payload_section_name) ||
            named(section, image_layout::index_section_name) ||
            named(section, image_layout::arguments_section_name) || named(section, ".rsrc"))
            throw unfit("it already has a payload or resources");
        next_rva_ = std::max(next_rva_,
                             align_up(uint64_t{section.virtual_address} +
                                          std::max(section.virtual_size, section.size_of_raw_data),
                                      section_alignment));
        if (section.size_of_raw_data == 0)
            continue;
        first_raw = std::min<uint64_t>(first_raw, section.pointer_to_raw_data);
        raw_end = std::max<uint64_t>(raw_end, uint64_t{section.pointer_to_raw_data} +
                                                  section.size_of_raw_data);
        if (named(section, image_layout::constants_section_name)) {
            if (section.virtual_size < image_layout::constants_record_bytes ||
                section.size_of_raw_data < image_layout::constants_record_bytes ||
                std::memcmp(bytes_.data() + section.pointer_to_raw_data,
                            image_layout::constants_magic, image_layout::magic_bytes) != 0)
                throw unfit("its constants section holds no constants record");
            constants_offset_ = section.pointer_to_raw_data;
        }
    }
    if (constants_offset_ == 0)
        throw unfit("it has no constants section");
    if (raw_end != bytes_.size())
        throw unfit("bytes follow its last section");
    if (optional_.directories[pe::resource_directory].size != 0 ||
        optional_.directories[pe::certificate_directory].size != 0)
        throw unfit("it already has resources or a signature");
    // Four more section headers must fit below the first section's data,
    // so that no section moves.
    size_t table_end =
        headers_.sections_offset + (headers_.sections.size() + 4) * sizeof(pe::SectionHeader);
    if (table_end > optional_.size_of_headers || table_end > first_raw)
        throw unfit("its headers leave no room for four more sections");
}

void LauncherImage::check_size(uint64_t payload_bytes, uint64_t index_bytes,
                               uint64_t arguments_bytes, uint64_t resource_bytes) const {
    const uint64_t section_alignment = optional_.section_alignment;
    const uint64_t file_alignment = optional_.file_alignment;
    uint64_t payload_raw = align_up(payload_bytes, file_alignment);
    uint64_t index_rva = align_up(next_rva_ + payload_bytes, section_alignment);
    uint64_t arguments_rva = align_up(index_rva + index_bytes, section_alignment);
    uint64_t resources_rva = align_up(arguments_rva + arguments_bytes, section_alignment);
    uint64_t size_of_image = align_up(resources_rva + resource_bytes, section_alignment);
    uint64_t file_bytes = bytes_.size() + payload_raw + align_up(index_bytes, file_alignment) +
                          align_up(arguments_bytes, file_alignment) +
                          align_up(resource_bytes, file_alignment);
    uint64_t largest = std::max(size_of_image, file_bytes);
    if (largest - payload_raw > largest_launcher_bytes)
        throw Refusal("the launcher's image, index, arguments and resources alone take " +
                      std::to_string(largest - payload_raw) +
                      " bytes; Windows loads no image larger than " +
                      std::to_string(largest_launcher_bytes) + " bytes (1792 MiB)");
    if (largest > largest_launcher_bytes) {
        uint64_t room = largest_launcher_bytes - (largest - payload_raw);
        throw Refusal("a payload of " + std::to_string(payload_bytes) +
                      " bytes would make a launcher of " + std::to_string(largest) +
                      " bytes; Windows loads no image that large, so a launcher " +
                      "stays at or below " + std::to_string(largest_launcher_bytes) +
                      " bytes (1792 MiB) and its payload at or below " +
                      std::to_string(room / section_alignment * section_alignment) + " bytes");
    }
}

LauncherLayout LauncherImage::lay_out(uint64_t payload_bytes, uint64_t index_bytes,
                                      uint64_t arguments_bytes, uint64_t resource_bytes,
                                      bool windowed) const {
    check_size(payload_bytes, index_bytes, arguments_bytes, resource_bytes);
    const uint64_t section_alignment = optional_.section_alignment;
    const uint64_t file_alignment = optional_.file_alignment;

    LauncherLayout layout;
    layout.payload_rva = static_cast<uint32_t>(next_rva_);
    layout.payload_offset = static_cast<uint32_t>(bytes_.size());
    layout.payload_raw_bytes = static_cast<uint32_t>(align_up(payload_bytes, file_alignment));
    layout.index_rva =
        static_cast<uint32_t>(align_up(next_rva_ + payload_bytes, section_alignment));
    layout.index_offset = layout.payload_offset + layout.payload_raw_bytes;
    layout.index_raw_bytes = static_cast<uint32_t>(align_up(index_bytes, file_alignment));
    layout.arguments_rva = static_cast<uint32_t>(
        align_up(uint64_t{layout.index_rva} + index_bytes, section_alignment));
    layout.arguments_offset = layout.index_offset + layout.index_raw_bytes;
    layout.arguments_raw_bytes = static_cast<uint32_t>(align_up(arguments_bytes, file_alignment));
    layout.resources_rva = static_cast<uint32_t>(
        align_up(uint64_t{layout.arguments_rva} + arguments_bytes, section_alignment));
    layout.resources_offset = layout.arguments_offset + layout.arguments_raw_bytes;
    layout.resources_raw_bytes = static_cast<uint32_t>(align_up(resource_bytes, file_alignment));
    layout.file_bytes = uint64_t{layout.resources_offset} + layout.resources_raw_bytes;

    layout.sections = headers_.sections;
    layout.sections.push_back(section_header(image_layout::payload_section_name, layout.payload_rva,
                                             payload_bytes, layout.payload_offset,
                                             layout.payload_raw_bytes));
    // A launcher without an index (launcher-forge's) has no such section.
    if (index_bytes != 0)
        layout.sections.push_back(section_header(image_layout::index_section_name, layout.index_rva,
                                                 index_bytes, layout.index_offset,
                                                 layout.index_raw_bytes));
    // Nor has a launcher without fixed arguments or variables.
    if (arguments_bytes != 0)
        layout.sections.push_back(
            section_header(image_layout::arguments_section_name, layout.arguments_rva,
                           arguments_bytes, layout.arguments_offset, layout.arguments_raw_bytes));
    layout.sections.push_back(section_header(".rsrc", layout.resources_rva, resource_bytes,
                                             layout.resources_offset, layout.resources_raw_bytes));

    layout.nt.signature = pe::nt_signature;
    layout.nt.file = headers_.file;
    layout.nt.file.number_of_sections = static_cast<uint16_t>(layout.sections.size());
    auto& optional = layout.nt.optional;
    optional = optional_;
    optional.size_of_image = static_cast<uint32_t>(
        align_up(uint64_t{layout.resources_rva} + resource_bytes, section_alignment));
    uint64_t initialized = 0;
    for (const auto& section : layout.sections)
        if (section.characteristics & pe::section_initialized_data)
            initialized += section.size_of_raw_data;
    optional.size_of_initialized_data = static_cast<uint32_t>(initialized);
    optional.directories[pe::resource_directory] = {layout.resources_rva,
                                                    static_cast<uint32_t>(resource_bytes)};
    optional.subsystem = windowed ? pe::subsystem_windows_gui : pe::subsystem_windows_console;
    optional.check_sum = 0;
    return layout;
}

std::vector<unsigned char> launcher_headers(const LauncherImage& image,
                                            const LauncherLayout& layout) {
    const PeHeaders& read = image.headers();
    const size_t size_of_headers = layout.nt.optional.size_of_headers;
    std::vector<unsigned char> headers(image.bytes().begin(),
                                       image.bytes().begin() + size_of_headers);
    std::memcpy(headers.data() + read.nt_offset, &layout.nt, sizeof layout.nt);
    std::memcpy(headers.data() + read.sections_offset, layout.sections.data(),
                layout.sections.size() * sizeof(pe::SectionHeader));
    return headers;
}

namespace {

// Passes what is written on to the file and adds it to the checksum, at the
// file offsets it lands on.
class SummingBuffer : public std::streambuf {
  public:
    SummingBuffer(std::streambuf& file, ImageChecksum& checksum, uint64_t offset)
        : file_(file), checksum_(checksum), offset_(offset) {}

  protected:
    std::streamsize xsputn(const char* bytes, std::streamsize count) override {
        std::streamsize written = file_.sputn(bytes, count);
        if (written > 0) {
            checksum_.add(offset_, reinterpret_cast<const unsigned char*>(bytes),
                          static_cast<size_t>(written));
            offset_ += static_cast<uint64_t>(written);
        }
        return written;
    }

    int_type overflow(int_type byte) override {
        if (traits_type::eq_int_type(byte, traits_type::eof()))
            return traits_type::not_eof(byte);
        char one = traits_type::to_char_type(byte);
        return xsputn(&one, 1) == 1 ? byte : traits_type::eof();
    }

  private:
    std::streambuf& file_;
    ImageChecksum& checksum_;
    uint64_t offset_;
};

void put_constants(std::vector<unsigned char>& body, size_t record,
                   const LauncherConstants& constants) {
    put_text(body, record + image_layout::target_spec_offset,
             image_layout::target_spec_capacity_units, constants.target_spec);
    put_text(body, record + image_layout::company_offset, image_layout::company_capacity_units,
             constants.company);
    put_text(body, record + image_layout::product_offset, image_layout::product_capacity_units,
             constants.product);
    put_text(body, record + image_layout::version_offset, image_layout::version_capacity_units,
             constants.version);
    put_text(body, record + image_layout::elevated_target_spec_offset,
             image_layout::elevated_target_spec_capacity_units, constants.elevated_target_spec);
}

} // namespace

uint64_t write_launcher(const LauncherImage& image, const LauncherParts& parts,
                        const PayloadSource& write_payload, TemporaryFile& file) {
    check_launcher_constants(parts.constants);
    const uint64_t payload_offset = image.payload_offset();
    const size_t checksum_field = checksum_field_offset(image.headers().nt_offset);
    ImageChecksum checksum(checksum_field);
    auto cannot_write = [&] {
        return Refusal("cannot write " + file.shown_name() + ": " + std::strerror(errno));
    };

    std::ostream& out = file.out();
    out.seekp(static_cast<std::streamoff>(payload_offset));
    SummingBuffer summing(*out.rdbuf(), checksum, payload_offset);
    std::ostream payload_out(&summing);
    const WrittenPayload written = write_payload(payload_out);
    const uint64_t payload_bytes = written.bytes;
    const std::vector<unsigned char>& index = written.index;
    if (!payload_out || !out)
        throw cannot_write();

    // What follows the payload and the headers follow from its size, known
    // only now.
    const std::vector<unsigned char>& arguments = parts.child_arguments;
    const LauncherLayout layout = image.lay_out(payload_bytes, index.size(), arguments.size(),
                                                parts.resources.size(), parts.windowed);
    std::vector<unsigned char> resources = parts.resources.placed_at(layout.resources_rva);
    std::vector<unsigned char> headers = launcher_headers(image, layout);
    const size_t body_offset = headers.size();
    std::vector<unsigned char> body(image.bytes().begin() + body_offset, image.bytes().end());
    put_constants(body, image.constants_offset() - body_offset, parts.constants);

    struct Piece {
        const unsigned char* bytes;
        size_t size;
    };
    const std::vector<unsigned char> zeros(
        std::max({static_cast<size_t>(layout.payload_raw_bytes - payload_bytes),
                  layout.index_raw_bytes - index.size(),
                  layout.arguments_raw_bytes - arguments.size(),
                  layout.resources_raw_bytes - resources.size()}),
        0);
    const Piece after_payload[] = {
        {zeros.data(), static_cast<size_t>(layout.payload_raw_bytes - payload_bytes)},
        {index.data(), index.size()},
        {zeros.data(), layout.index_raw_bytes - index.size()},
        {arguments.data(), arguments.size()},
        {zeros.data(), layout.arguments_raw_bytes - arguments.size()},
        {resources.data(), resources.size()},
        {zeros.data(), layout.resources_raw_bytes - resources.size()},
    };
    for (const Piece& piece : after_payload)
        payload_out.write(reinterpret_cast<const char*>(piece.bytes),
                          static_cast<std::streamsize>(piece.size));
    if (layout.payload_offset != payload_offset || body_offset + body.size() != payload_offset)
        throw std::logic_error("the launcher's layout and its pieces disagree");

    checksum.add(0, headers.data(), headers.size());
    checksum.add(body_offset, body.data(), body.size());
    uint32_t sum = checksum.finish(layout.file_bytes);
    std::memcpy(headers.data() + checksum_field, &sum, sizeof sum);
    out.seekp(0);
    out.write(reinterpret_cast<const char*>(headers.data()),
              static_cast<std::streamsize>(headers.size()));
    out.write(reinterpret_cast<const char*>(body.data()),
              static_cast<std::streamsize>(body.size()));
    out.seekp(0, std::ios::end);
    if (!payload_out || !out || static_cast<uint64_t>(out.tellp()) != layout.file_bytes)
        throw cannot_write();
    file.close();
    return layout.file_bytes;
}

uint64_t write_launcher(const LauncherImage& image, const LauncherParts& parts,
                        const unsigned char* payload, uint64_t payload_bytes,
                        const std::vector<unsigned char>& index, TemporaryFile& file) {
    return write_launcher(
        image, parts,
        [&](std::ostream& out) {
            out.write(reinterpret_cast<const char*>(payload),
                      static_cast<std::streamsize>(payload_bytes));
            return WrittenPayload{payload_bytes, index};
        },
        file);
}

} // namespace qarvel
