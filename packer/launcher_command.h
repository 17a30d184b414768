#pragma once

// qarvel-pack launcher: a finished launcher from an application folder or a
// payload, completed from the launcher image qarvel-pack carries.

#include "packer/identity.h"
#include "packer/payload_writer.h"

#include <string>

namespace qarvel {

struct LauncherArguments {
    std::string folder, main_path, payload, output, depfile;
    Identity identity;
    CompressionOptions compression;
    bool compression_given = false;
    bool quiet = false;
};

struct LauncherConstants;
struct LauncherParts;

// The texts a launcher reads, from a completed identity; throws
// std::runtime_error when one does not fit its room in the image, however
// the launcher is made.
LauncherConstants launcher_constants(const Identity& completed);

// Everything but the payload that a launcher of a completed identity
// carries: its constants, resources and subsystem.
LauncherParts launcher_parts(const Identity& completed);

// Throws std::runtime_error with one line for bad input; writes nothing then.
// Returns the exit code otherwise.
int make_launcher(const LauncherArguments& args);

} // namespace qarvel
