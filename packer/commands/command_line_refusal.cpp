#include "packer/commands/command_line_refusal.h"

#include <algorithm>
#include <numeric>

namespace qarvel {
namespace {

size_t edit_distance(const std::string& a, const std::string& b) {
    std::vector<size_t> row(b.size() + 1);
    std::iota(row.begin(), row.end(), 0);
    for (size_t i = 1; i <= a.size(); ++i) {
        size_t diagonal = row[0];
        row[0] = i;
        for (size_t j = 1; j <= b.size(); ++j) {
            size_t above = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] != b[j - 1])});
            diagonal = above;
        }
    }
    return row[b.size()];
}

// The command whose arguments were being read: the deepest one parsed.
const CLI::App* parsed_command(const CLI::App& app) {
    for (const CLI::App* command : app.get_subcommands({}))
        if (command->parsed())
            return command;
    return &app;
}

std::vector<std::string> option_names(const CLI::App& command) {
    std::vector<std::string> names;
    for (const CLI::Option* option : command.get_options()) {
        for (const auto& name : option->get_lnames())
            names.push_back("--" + name);
        for (const auto& name : option->get_snames())
            names.push_back("-" + name);
    }
    return names;
}

std::string unexpected_argument(const CLI::App& command, const std::string& argument) {
    if (argument.size() > 1 && argument[0] == '-') {
        std::string name = argument.substr(0, argument.find('='));
        std::string line = "unknown option " + name;
        if (command.get_parent() != nullptr)
            line += " for " + command.get_name();
        std::string meant = nearest_word(name, option_names(command));
        return meant.empty() ? line : line + "; did you mean " + meant + "?";
    }
    return "unexpected argument '" + argument + "'";
}

// The option that a parser message starts with, as "--level: ...".
const CLI::Option* option_named_in(const CLI::App& command, const std::string& message) {
    for (const CLI::Option* option : command.get_options())
        for (const auto& name : option->get_lnames())
            if (message.rfind("--" + name, 0) == 0)
                return option;
    return nullptr;
}

} // namespace

std::string nearest_word(const std::string& word, const std::vector<std::string>& candidates) {
    std::string nearest;
    size_t best = std::max<size_t>(1, std::min<size_t>(2, word.size() / 3)) + 1;
    for (const auto& candidate : candidates) {
        size_t distance = edit_distance(word, candidate);
        if (distance < best) {
            best = distance;
            nearest = candidate;
        }
    }
    return nearest;
}

std::string unexpected_arguments(const CLI::App& app) {
    const CLI::App* command = parsed_command(app);
    for (const CLI::App* level : {command, &app}) {
        std::vector<std::string> extras = level->remaining();
        if (!extras.empty())
            return unexpected_argument(*command, extras.front());
    }
    return "";
}

std::string command_line_refusal(const CLI::App& app, const CLI::ParseError& error) {
    std::string extras = unexpected_arguments(app);
    if (!extras.empty())
        return extras;
    std::string message = error.what();
    if (dynamic_cast<const CLI::ArgumentMismatch*>(&error) != nullptr) {
        const CLI::Option* option = option_named_in(*parsed_command(app), message);
        if (option != nullptr)
            return option->get_name() + " needs a value" +
                   (option->get_type_name().empty() ? "" : " (" + option->get_type_name() + ")");
    }
    // A check's own line, without the parser's "FILE: " before it.
    if (dynamic_cast<const CLI::ValidationError*>(&error) != nullptr) {
        size_t colon = message.find(": ");
        if (colon != std::string::npos && message[0] != '-')
            message.erase(0, colon + 2);
    }
    // The parser's own texts, on one line.
    std::replace(message.begin(), message.end(), '\n', ' ');
    while (!message.empty() && message.back() == ' ')
        message.pop_back();
    return message;
}

} // namespace qarvel
