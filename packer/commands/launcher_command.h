#pragma once

// qarvel-pack launcher: a finished launcher from an application folder or a
// payload, completed from the launcher image qarvel-pack carries.

#include "packer/identity/identity.h"
#include "packer/image/child_arguments_record.h"
#include "packer/payload/payload_writer.h"
#include "packer/refusal.h"

#include <CLI/CLI.hpp>
#include <string>
#include <vector>

namespace qarvel {

struct LauncherArguments {
    std::string folder, main_path, payload, output, depfile;
    Identity identity;
    CompressionOptions compression;
    bool compression_given = false;
    // Launches that find every file as the last full check recorded it
    // open none (format/payload_index.h).
    bool quick_check = false;
    // --arg and --env, as given.
    std::vector<std::string> child_arguments, child_variables;
    bool quiet = false;
};

// The options mean what they mean for create.
CLI::App* add_launcher_command(CLI::App& app, LauncherArguments& args);

// Writes the launcher, or throws Refusal with one line for bad
// input and writes nothing.
void make_launcher(const LauncherArguments& args);

} // namespace qarvel
