#pragma once

// qarvel-pack create: a payload file from an application folder.

#include "packer/payload/payload_writer.h"

#include <CLI/CLI.hpp>
#include <string>

namespace qarvel {

struct CreateArguments {
    std::string folder, main_path, output, depfile;
    CompressionOptions compression;
    bool quiet = false;
};

CLI::App* add_create_command(CLI::App& app, CreateArguments& args);

// Writes the payload (and its dependency file), or throws with one line
// for bad input and writes nothing.
void create_payload(const CreateArguments& args);

} // namespace qarvel
