#pragma once

// The command-line options that create and launcher share, declared once.

#include "packer/payload/payload_writer.h"

#include <CLI/CLI.hpp>
#include <string>

namespace qarvel {

// A whole number from low to high; the refusal states the bounds.
CLI::Validator number_range(int low, int high);

// --level, --window-log, --threads and --depfile; made names what the
// command makes ("payload", "launcher").
void add_pack_options(CLI::App* command, CompressionOptions& compression, std::string& depfile,
                      const char* made);

// Whether any compression option was given to command.
bool compression_given(const CLI::App& command);

// The default of a compression option by its name without dashes ("level",
// "window-log" or "threads"), printed for scripts that must agree with it.
int print_compression_default(const std::string& name);

} // namespace qarvel
