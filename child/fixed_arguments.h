#pragma once

#include <cstddef>

// The child's fixed arguments and variables, read from the launcher's own
// arguments section (format/child_arguments.h); a launcher without the
// section has none. A damaged record ends the process through fail_bounds;
// a token that cannot be expanded, through fail_template_expansion.

// Calls append for each fixed argument in order, its tokens expanded.
void for_each_fixed_argument(void (*append)(const wchar_t* argument));

// Sets each variable, its tokens expanded, replacing any inherited value.
void set_child_variables();
