// qarvel-pack: builds the payload of a one-file launcher from an application
// folder, makes a finished launcher from a folder or a payload, and lists,
// verifies and extracts the payload of a payload file or of a built launcher;
// completes and checks a launcher's identity. This file holds only the
// command line; each command lives in commands/.
#include "packer/commands/command_line_refusal.h"
#include "packer/commands/create_command.h"
#include "packer/commands/identity_command.h"
#include "packer/commands/inspect_commands.h"
#include "packer/commands/launcher_command.h"
#include "packer/commands/pack_options.h"
#include "packer/files/temporary_file.h"
#include "packer/files/utf16.h"
#include "packer/refusal.h"

#include <CLI/CLI.hpp>
#include <cstdio>
#include <cstring>
#include <exception>
#include <string>
#include <vector>
#include <zstd.h>

#ifdef _WIN32
#include <cwchar>
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#endif

namespace {

const char* const commands[] = {"create", "launcher", "list", "verify", "extract", "identity"};

// CLI11 takes an unknown word for a stray argument and asks for a command;
// say instead that it is not one, and which there are.
bool is_unknown_command(int argc, char** argv) {
    if (argc < 2 || argv[1][0] == '-')
        return false;
    for (const char* command : commands)
        if (std::strcmp(argv[1], command) == 0)
            return false;
    return true;
}

// Every refusal: one line, exit code 1.
int refuse(const std::string& subject, const std::string& line) {
    std::fflush(stdout);
    std::fprintf(stderr, "qarvel-pack: %s: %s\n", subject.c_str(), line.c_str());
    return 1;
}

int refuse(const std::string& line) {
    return refuse("error", line);
}

std::string command_list() {
    return "the commands are create, launcher, list, verify, extract and identity; "
           "qarvel-pack --help "
           "describes them";
}

int run(int argc, char** argv) {
    qarvel::remove_temporary_files_on_interrupt();
    if (is_unknown_command(argc, argv)) {
        std::string meant =
            qarvel::nearest_word(argv[1], {std::begin(commands), std::end(commands)});
        return refuse("'" + std::string(argv[1]) + "' is not a command" +
                      (meant.empty() ? "" : " (did you mean " + meant + "?)") + "; " +
                      command_list());
    }

    CLI::App app{"qarvel-pack: builds and inspects the payload of a Qarvel one-file launcher",
                 "qarvel-pack"};
    app.require_subcommand(0, 1);
    // CLI11 reads "/x" as an option on Windows; here it is a path, as on Linux.
    app.allow_windows_style_options(false);
    app.set_version_flag("--version", std::string("qarvel-pack ") + QARVEL_PACK_VERSION +
                                          ", zstd " + ZSTD_versionString());
    std::string default_name;
    app.add_option("--print-default", default_name,
                   "print the default of a create option (level, window-log or threads) and exit")
        ->type_name("OPTION")
        ->check(CLI::IsMember({"level", "window-log", "threads"}).description(""));
    app.footer("Example:\n  qarvel-pack launcher app --main app.exe -o app-onefile.exe --company "
               "\"Acme Tools\" --product Inkwell --version 2.4.0.0\n"
               "qarvel-pack COMMAND --help describes a command's options.");
    qarvel::CreateArguments create_args;
    CLI::App* create_command = qarvel::add_create_command(app, create_args);
    qarvel::LauncherArguments launcher_args;
    CLI::App* launcher_command = qarvel::add_launcher_command(app, launcher_args);
    qarvel::InspectArguments list_args, verify_args, extract_args;
    const qarvel::InspectCommands inspect =
        qarvel::add_inspect_commands(app, list_args, verify_args, extract_args);
    qarvel::IdentityCommandArguments identity_args;
    CLI::App* identity_command = nullptr;
    qarvel::add_identity_command(app, identity_args, &identity_command);

    // Unknown arguments are kept, to be named first with the option meant:
    // they are the likely cause of any other fault.
    app.allow_extras();
    for (CLI::App* command : app.get_subcommands({}))
        command->allow_extras();
    // CLI11 reads "--arg=" as "--arg" still waiting for its value, and would
    // take the next word; an empty argument is meant, as "--arg ''" says.
    static char empty_value[] = "";
    std::vector<char*> words;
    for (int i = 0; i < argc; ++i) {
        bool empty_child_value =
            std::strcmp(argv[i], "--arg=") == 0 || std::strcmp(argv[i], "--env=") == 0;
        if (empty_child_value)
            argv[i][std::strlen(argv[i]) - 1] = 0;
        words.push_back(argv[i]);
        if (empty_child_value)
            words.push_back(empty_value);
    }
    try {
        app.parse(static_cast<int>(words.size()), words.data());
        std::string extras = qarvel::unexpected_arguments(app);
        if (!extras.empty())
            return refuse(extras);
    } catch (const CLI::Success& success) {
        return app.exit(success);
    } catch (const CLI::ParseError& error) {
        return refuse(qarvel::command_line_refusal(app, error));
    }
    if (!default_name.empty())
        return qarvel::print_compression_default(default_name);
    if (app.get_subcommands().empty())
        return refuse("name a command; " + command_list());

    try {
        if (*create_command) {
            qarvel::create_payload(create_args);
            return 0;
        }
        if (*launcher_command) {
            launcher_args.compression_given = qarvel::compression_given(*launcher_command);
            qarvel::make_launcher(launcher_args);
            return 0;
        }
        if (*inspect.list)
            qarvel::list_payload_file(list_args);
        if (*inspect.verify)
            qarvel::verify_payload_file(verify_args);
        if (*inspect.extract)
            qarvel::extract_payload_file(extract_args);
        if (*identity_command)
            return qarvel::run_identity_command(identity_args);
    } catch (const qarvel::Refusal& refusal) {
        return refuse(refusal.subject(), refusal.what());
    } catch (const std::logic_error& bug) {
        return refuse("internal error", bug.what());
    } catch (const std::exception& error) {
        // What the standard library throws, such as a folder it cannot create.
        return refuse(error.what());
    }
    return 0;
}

} // namespace

#ifdef _WIN32
// The command line arrives in UTF-16 and CLI11 reads char strings: convert
// it to UTF-8 here, so that no ANSI code page ever touches a name.
int wmain(int argc, wchar_t** wide_argv) {
    std::vector<std::string> arguments;
    for (int i = 0; i < argc; ++i) {
        std::u16string argument(wide_argv[i], wide_argv[i] + std::wcslen(wide_argv[i]));
        if (qarvel::has_unpaired_surrogate(argument)) {
            std::fprintf(stderr,
                         "qarvel-pack: error: argument %d is not valid UTF-16 (it has an unpaired "
                         "surrogate)\n",
                         i);
            return 1;
        }
        arguments.push_back(qarvel::utf16_to_utf8(argument));
    }
    std::vector<char*> argv;
    for (auto& argument : arguments)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    // Names are printed in UTF-8; a console shows them so only when told.
    SetConsoleOutputCP(CP_UTF8);
    // Byte for byte what the Linux build prints: no "\r" before each "\n".
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
    return run(argc, argv.data());
}
#else
int main(int argc, char** argv) {
    return run(argc, argv);
}
#endif
