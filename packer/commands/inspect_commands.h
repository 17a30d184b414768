#pragma once

// qarvel-pack list, verify and extract: what a payload file, or a launcher
// built around one, holds.

#include <CLI/CLI.hpp>
#include <string>

namespace qarvel {

struct InspectArguments {
    std::string file, output;
    bool quiet = false;
};

struct InspectCommands {
    CLI::App *list = nullptr, *verify = nullptr, *extract = nullptr;
};

InspectCommands add_inspect_commands(CLI::App& app, InspectArguments& list_args,
                                     InspectArguments& verify_args, InspectArguments& extract_args);

// Each throws a Refusal: for a fault of the payload's own bytes, one whose
// subject is the file.
void list_payload_file(const InspectArguments& args);
void verify_payload_file(const InspectArguments& args);
void extract_payload_file(const InspectArguments& args);

} // namespace qarvel
