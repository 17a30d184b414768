#pragma once

// Where a launcher image keeps what makes it one application's launcher,
// read by the launcher and filled in by qarvel-pack when it completes an
// image. The payload, its index (format/payload_index.h), the child's fixed
// arguments (format/child_arguments.h) and the constants record are
// sections of their own, found through the image's section
// table, so that nothing depends on a linker symbol or on the end of the
// file: resource editors and signers leave sections where they are.
//
// The constants record, in its own section:
//   magic (16 bytes) | target template | company | product | version
//   | elevated target template
// each text field UTF-16LE, zero-terminated, zero-filled to its capacity.
// The elevated target template is the one a launch run as administrator
// uses, whatever the manifest asks for.

// Section names have at most 8 bytes: an image has no string table. The
// macros serve the assembler and section attributes, which want literals.
#define QARVEL_PAYLOAD_SECTION_NAME ".qarvelp"
#define QARVEL_CONSTANTS_SECTION_NAME ".qarvelc"
#define QARVEL_INDEX_SECTION_NAME ".qarveli"
#define QARVEL_ARGUMENTS_SECTION_NAME ".qarvela"

#ifndef __ASSEMBLER__
#include <cstddef>

namespace image_layout {

constexpr char payload_section_name[] = QARVEL_PAYLOAD_SECTION_NAME;
constexpr char constants_section_name[] = QARVEL_CONSTANTS_SECTION_NAME;
constexpr char index_section_name[] = QARVEL_INDEX_SECTION_NAME;
constexpr char arguments_section_name[] = QARVEL_ARGUMENTS_SECTION_NAME;
static_assert(sizeof payload_section_name == 9 && sizeof constants_section_name == 9 &&
              sizeof index_section_name == 9 && sizeof arguments_section_name == 9);

constexpr size_t magic_bytes = 16;
#define QARVEL_CONSTANTS_MAGIC                                                                     \
    { 'Q', 'a', 'r', 'v', 'e', 'l', ' ', 'c', 'o', 'n', 's', 't', 'a', 'n', 't', 's' }
constexpr unsigned char constants_magic[magic_bytes] = QARVEL_CONSTANTS_MAGIC;

// Capacities in UTF-16 units, the terminator included. A target template
// fills at most a path buffer; the launcher's path buffers hold 4096 units.
constexpr size_t target_spec_capacity_units = 4096;
constexpr size_t company_capacity_units = 256;
constexpr size_t product_capacity_units = 256;
constexpr size_t version_capacity_units = 32;
constexpr size_t elevated_target_spec_capacity_units = target_spec_capacity_units;

constexpr size_t target_spec_offset = magic_bytes;
constexpr size_t company_offset = target_spec_offset + 2 * target_spec_capacity_units;
constexpr size_t product_offset = company_offset + 2 * company_capacity_units;
constexpr size_t version_offset = product_offset + 2 * product_capacity_units;
constexpr size_t elevated_target_spec_offset = version_offset + 2 * version_capacity_units;
constexpr size_t constants_record_bytes =
    elevated_target_spec_offset + 2 * elevated_target_spec_capacity_units;

} // namespace image_layout
#endif
