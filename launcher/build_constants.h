#pragma once

#include "format/image_layout.h"

#include <cstddef>

// Fixed when a launcher is made: written into the image's constants section
// by qarvel-pack (programs that run the launcher's code in-process compile
// one in).
struct BuildConstants {
    unsigned char magic[image_layout::magic_bytes];
    wchar_t target_directory_spec[image_layout::target_spec_capacity_units];
    wchar_t company_name[image_layout::company_capacity_units];
    wchar_t product_name[image_layout::product_capacity_units];
    wchar_t version_text[image_layout::version_capacity_units];
    wchar_t elevated_target_directory_spec[image_layout::elevated_target_spec_capacity_units];
};
static_assert(sizeof(wchar_t) == 2, "the record holds UTF-16 units");
static_assert(offsetof(BuildConstants, target_directory_spec) == image_layout::target_spec_offset);
static_assert(offsetof(BuildConstants, company_name) == image_layout::company_offset);
static_assert(offsetof(BuildConstants, product_name) == image_layout::product_offset);
static_assert(offsetof(BuildConstants, version_text) == image_layout::version_offset);
static_assert(offsetof(BuildConstants, elevated_target_directory_spec) ==
              image_layout::elevated_target_spec_offset);
static_assert(sizeof(BuildConstants) == image_layout::constants_record_bytes);

// Defined once per launcher, in the constants section.
#define QARVEL_CONSTANTS_SECTION __attribute__((section(QARVEL_CONSTANTS_SECTION_NAME), used))
extern const BuildConstants build_constants;

// The names the launcher's code reads.
constexpr const wchar_t* target_directory_spec = build_constants.target_directory_spec;
constexpr const wchar_t* company_name = build_constants.company_name;
constexpr const wchar_t* product_name = build_constants.product_name;
constexpr const wchar_t* version_text = build_constants.version_text;
constexpr const wchar_t* elevated_target_directory_spec =
    build_constants.elevated_target_directory_spec;
