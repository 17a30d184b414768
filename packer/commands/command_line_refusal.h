#pragma once

// The argument parser's refusals in qarvel-pack's own words: one line, the
// first fault, with the near option or command a typing slip meant.

#include <CLI/CLI.hpp>
#include <string>
#include <vector>

namespace qarvel {

// The candidate nearest to word, within a typing slip or two; empty if none.
std::string nearest_word(const std::string& word, const std::vector<std::string>& candidates);

// The line (without "qarvel-pack: error: ") for a refusal of the parser,
// thrown while app parsed its arguments. Arguments the parser did not take
// are named first: they are the likely cause of any other fault.
std::string command_line_refusal(const CLI::App& app, const CLI::ParseError& error);

// The line for the first argument that app took for no option of the
// command read, after a parse that kept such arguments; empty when there is
// none.
std::string unexpected_arguments(const CLI::App& app);

} // namespace qarvel
