#pragma once

// The child's fixed arguments and variables as qarvel-pack takes them
// (--arg, --env), checks them and stores them (format/child_arguments.h).

#include "packer/refusal.h"

#include <cstddef>
#include <string>
#include <vector>

namespace qarvel {

struct ChildVariable {
    std::string name, value; // UTF-8
};

struct ChildArguments {
    std::vector<std::string> arguments; // UTF-8, in the order given
    std::vector<ChildVariable> variables;
    bool empty() const { return arguments.empty() && variables.empty(); }
};

// NAME=VALUE split at its first "="; throws Refusal for text without one.
ChildVariable parse_child_variable(const std::string& name_value);

// Throws Refusal, one line, for what no launch could pass on: too many or
// too long (each token counted at its longest), a name the launcher sets
// or clears itself, a name given twice, text that is not UTF-8.
void check_child_arguments(const ChildArguments& given);

// One line each for braced text that looks like a token but is none.
std::vector<std::string> child_argument_warnings(const ChildArguments& given);

// The record; empty when there is nothing to store.
std::vector<unsigned char> child_arguments_record(const ChildArguments& given);

// The record of a file's arguments section read back; throws Refusal
// naming file_name when it is damaged.
ChildArguments read_child_arguments_record(const unsigned char* bytes, size_t size,
                                           const std::string& file_name);

// The record of a launcher file, found through its section table; empty
// for a payload file or a launcher without one.
ChildArguments read_launcher_child_arguments(const unsigned char* file, size_t file_bytes,
                                             const std::string& file_name);

// An argument as the child's command line holds it.
std::u16string quoted_argument(const std::u16string& argument);

} // namespace qarvel
