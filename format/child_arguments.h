#pragma once

// The child's fixed arguments and variables, kept in a section of their own
// (image_layout.h). A launcher without any has no such section.
//
//   magic (8) | argument count (u32) | variable count (u32) | body
//
// The body holds each argument, in order, then each variable:
//
//   argument:  units (u32) | text (UTF-16LE, no terminator)
//   variable:  name units (u32) | name | value units (u32) | value
//
// All numbers are little-endian; the body ends where the section does.
// Texts hold no zero unit. Tokens ("{APP_DIR}", the path-template tokens)
// are stored as written and expanded at each launch.

#include <cstddef>
#include <cstdint>

namespace child_arguments {

constexpr unsigned char magic[8] = {'Q', 'a', 'r', 'v', 'A', 'r', 'g', '1'};
constexpr size_t argument_count_offset = 8;
constexpr size_t variable_count_offset = 12;
constexpr size_t header_bytes = 16;

// The token for the folder the application was unpacked into; arguments and
// values know it besides the path-template tokens.
constexpr char app_dir_token[] = "APP_DIR";

// What CreateProcessW takes: 32,767 units with the terminator.
constexpr size_t command_line_limit_units = 32766;
// The packer's limits, checked with each token counted at the longest a
// launcher expands one to.
constexpr size_t token_units_counted = 4095;
constexpr size_t max_arguments = 1024;
constexpr size_t max_variables = 256;
// The fixed arguments as the child's command line holds them (quoted, a
// space before each), leaving room for the launcher's own path.
constexpr size_t max_argument_units = command_line_limit_units - 4096 - 2;
// A variable's name, and its value, as the system takes them.
constexpr size_t max_variable_name_units = 255;
constexpr size_t max_variable_value_units = 32766;

} // namespace child_arguments
