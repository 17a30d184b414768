#pragma once

#include "packer/identity/identity.h"
#include "packer/refusal.h"

#include <CLI/CLI.hpp>
#include <string>

namespace qarvel {

// The identity options of a command that makes a launcher, read into
// identity; -o is not among them. Every value is taken as it is, even one
// that looks like an option; an empty one is one not given.
void add_identity_options(CLI::App* command, Identity& identity);

struct IdentityCommandArguments {
    Identity identity;
    std::string output;
};

// qarvel-pack identity: prints the completed identity as "name: value"
// lines, or throws Refusal.
void add_identity_command(CLI::App& app, IdentityCommandArguments& args, CLI::App** command);
int run_identity_command(const IdentityCommandArguments& args);

} // namespace qarvel
