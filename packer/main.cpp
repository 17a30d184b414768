// qarvel-pack: builds the payload of a one-file launcher from an application
// folder, makes a finished launcher from a folder or a payload, and lists,
// verifies and extracts the payload of a payload file or of a built launcher;
// completes and checks a launcher's identity for the build tooling.
#include "packer/app_folder.h"
#include "packer/command_line_refusal.h"
#include "packer/depfile.h"
#include "packer/host_files.h"
#include "packer/identity_command.h"
#include "packer/launcher_command.h"
#include "packer/output_file.h"
#include "packer/payload_failure.h"
#include "packer/payload_inspection.h"
#include "packer/payload_locator.h"
#include "packer/payload_writer.h"
#include "packer/printable_name.h"
#include "packer/progress.h"
#include "packer/temporary_file.h"
#include "packer/thread_count.h"

#include <CLI/CLI.hpp>
#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <exception>
#include <fstream>
#include <optional>
#include <string>
#include <zstd.h>

#ifdef _WIN32
#include <cwchar>
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#endif

namespace fs = std::filesystem;

namespace {

struct CreateArguments {
    std::string folder, main_path, output, depfile;
    qarvel::CompressionOptions compression;
    bool quiet = false;
};

struct InspectArguments {
    std::string file, output;
    bool quiet = false;
};

unsigned long long as_ull(uint64_t value) {
    return static_cast<unsigned long long>(value);
}

// The payload and its dependency file both take their names, or neither
// does: each is written under a temporary name first.
int create(const CreateArguments& args) {
    qarvel::refuse_folder(args.output, "-o", "payload file");
    if (!args.depfile.empty())
        qarvel::refuse_folder(args.depfile, "--depfile", "dependency file");
    if (qarvel::path_is_inside(qarvel::utf8_path(args.folder), qarvel::utf8_path(args.output)))
        throw std::runtime_error("the output " + args.output +
                                 " lies inside the folder being packed");
    auto folder = qarvel::collect_app_folder(qarvel::utf8_path(args.folder), args.main_path);

    std::optional<qarvel::TemporaryFile> depfile;
    if (!args.depfile.empty()) {
        depfile.emplace(qarvel::utf8_path(args.depfile));
        qarvel::write_text(*depfile, qarvel::depfile_text(qarvel::utf8_path(args.output), folder));
    }
    qarvel::create_parent_folders(qarvel::utf8_path(args.output));
    qarvel::TemporaryFile payload(qarvel::utf8_path(args.output));
    qarvel::ProgressLine progress(stderr, args.quiet);
    auto result = qarvel::write_payload(
        folder.files, payload, args.compression,
        [&](uint64_t in, uint64_t total, uint64_t out) { progress.update(in, total, out); });
    progress.finish();
    qarvel::put_in_place_with_depfile(payload, depfile, qarvel::utf8_path(args.output));
    if (!args.quiet)
        std::fprintf(stderr, "qarvel-pack: %zu files, %llu bytes packed into %llu bytes\n",
                     folder.files.size(), as_ull(result.entry_stream_bytes),
                     as_ull(result.payload_bytes));
    return 0;
}

// A fault of the payload's own bytes, in one line that names the file, as
// list, verify and extract all say it.
int report_fault(const std::string& file, const std::string& fault) {
    std::fflush(stdout);
    std::fprintf(stderr, "qarvel-pack: %s: %s\n", file.c_str(), fault.c_str());
    return 1;
}

int list(const InspectArguments& args) {
    const qarvel::LoadedPayload payload(args.file);
    try {
        qarvel::list_payload(
            payload.data(), payload.location.size, [](const qarvel::EntryHeader& entry) {
                std::printf("%12llu  %08" PRIx32 "  %s\n", as_ull(entry.size), entry.checksum,
                            qarvel::printable_name(entry.name).c_str());
            });
    } catch (const qarvel::PayloadFault& fault) {
        return report_fault(args.file, fault.what());
    }
    return 0;
}

int verify(const InspectArguments& args) {
    const qarvel::LoadedPayload payload(args.file);
    qarvel::PayloadSummary summary;
    std::string fault =
        qarvel::first_payload_fault(payload.data(), payload.location.size, &summary);
    if (!fault.empty())
        return report_fault(args.file, fault);
    if (!args.quiet)
        std::printf("%s: sound: %zu entries, %llu content bytes, a payload of %llu bytes at offset "
                    "%zu\n",
                    args.file.c_str(), summary.entries, as_ull(summary.content_bytes),
                    as_ull(payload.location.size), payload.location.offset);
    return 0;
}

int extract(const InspectArguments& args) {
    std::error_code error;
    auto status = fs::status(qarvel::utf8_path(args.output), error);
    if (fs::exists(status) && !fs::is_directory(status))
        throw std::runtime_error(args.output +
                                 " is a file; extract writes into a folder, name one with -o");
    const qarvel::LoadedPayload payload(args.file);
    qarvel::ExtractSummary summary;
    try {
        summary = qarvel::extract_payload(payload.data(), payload.location.size,
                                          qarvel::utf8_path(args.output));
    } catch (const qarvel::PayloadFault& fault) {
        return report_fault(args.file, fault.what());
    }
    if (!args.quiet)
        std::printf("%s: %zu files written, %zu up to date, into %s; main executable '%s'\n",
                    args.file.c_str(), summary.written, summary.up_to_date, args.output.c_str(),
                    qarvel::printable_name(summary.main_name).c_str());
    return 0;
}

// CLI::ExistingFile with the name read as UTF-8, as every path here is.
const CLI::Validator existing_file(
    [](std::string& name) -> std::string {
        std::error_code error;
        auto status = fs::status(qarvel::utf8_path(name), error);
        if (!fs::exists(status))
            return "no such file: " + name;
        if (fs::is_directory(status))
            return name + " is a folder; name a payload or a launcher";
        return {};
    },
    "");

// A range whose bounds the option's help states.
CLI::Validator range(int low, int high) {
    return CLI::Validator(
        [low, high](std::string& text) -> std::string {
            std::string want =
                "want a number from " + std::to_string(low) + " to " + std::to_string(high);
            if (text.empty() || text.size() > 9 ||
                text.find_first_not_of("0123456789") != std::string::npos)
                return want + ", not '" + text + "'";
            int value = std::stoi(text);
            if (value < low || value > high)
                return want + ", not " + text;
            return {};
        },
        "");
}

void add_file_argument(CLI::App* command, InspectArguments& args) {
    command->add_option("FILE", args.file, "a payload, or a launcher built around one")
        ->required()
        ->type_name("")
        ->check(existing_file);
}

// The packing options of create and launcher, where made names what they
// make.
void add_pack_options(CLI::App* command, qarvel::CompressionOptions& compression,
                      std::string& depfile, const char* made) {
    const qarvel::CompressionOptions defaults;
    command
        ->add_option("--level", compression.level,
                     "zstd compression level, 1 to 22 (default " + std::to_string(defaults.level) +
                         ")")
        ->type_name("N")
        ->check(range(1, 22));
    command
        ->add_option("--window-log", compression.window_log,
                     "zstd window log, 10 to 27 (default " + std::to_string(defaults.window_log) +
                         "); a smaller content gets a smaller window")
        ->type_name("N")
        ->check(range(10, 27));
    command
        ->add_option("--threads", compression.threads,
                     std::string("compression threads, 1 to 256 (default the processors this "
                                 "process may use, fewer when memory is short); the ") +
                         made + " is the same for every count")
        ->type_name("N")
        ->check(range(1, 256));
    command
        ->add_option("--depfile", depfile,
                     "also write a make-style dependency file for build systems")
        ->type_name("FILE");
}

// The options mean what they mean for create and scripts/build-launcher.
void add_launcher_options(CLI::App* command, qarvel::LauncherArguments& args) {
    command->add_option("DIR", args.folder, "the application folder to pack")->type_name("");
    command->add_option("--main", args.main_path, "the main executable, relative to DIR")
        ->type_name("RELPATH");
    command
        ->add_option("--payload", args.payload,
                     "a payload made by create (or a launcher): verified, then carried; not with "
                     "DIR")
        ->type_name("FILE");
    command
        ->add_option("-o,--output", args.output,
                     "the launcher to write; missing folders are created")
        ->type_name("OUT.exe")
        ->required();
    qarvel::add_identity_options(command, args.identity);
    add_pack_options(command, args.compression, args.depfile, "launcher");
    command->add_flag("-q,--quiet", args.quiet, "print nothing on success, show no progress");
    command->footer("Example:\n  qarvel-pack launcher app --main app.exe -o dist/app-onefile.exe "
                    "--company \"Acme Tools\" --product Inkwell --version 2.4.0.0");
}

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
int refuse(const std::string& line) {
    std::fflush(stdout);
    std::fprintf(stderr, "qarvel-pack: error: %s\n", line.c_str());
    return 1;
}

std::string command_list() {
    return "the commands are create, launcher, list, verify, extract and identity; "
           "qarvel-pack --help "
           "describes them";
}

// The defaults of create, for scripts that must agree with them.
int print_default(const std::string& name) {
    const qarvel::CompressionOptions defaults;
    if (name == "level")
        std::printf("%d\n", defaults.level);
    else if (name == "window-log")
        std::printf("%d\n", defaults.window_log);
    else if (name == "threads")
        std::printf("%d\n", qarvel::default_thread_count(defaults));
    return 0;
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
    CreateArguments create_args;
    auto* create_command = app.add_subcommand(
        "create", "pack an application folder into a payload; the main executable comes first, "
                  "the other files follow in name order");
    create_command->add_option("DIR", create_args.folder, "the application folder")
        ->type_name("")
        ->required();
    create_command
        ->add_option("--main", create_args.main_path, "the main executable, relative to DIR")
        ->type_name("RELPATH")
        ->required();
    create_command
        ->add_option("-o,--output", create_args.output,
                     "the payload file to write; missing folders are created")
        ->type_name("FILE")
        ->required();
    add_pack_options(create_command, create_args.compression, create_args.depfile, "payload");
    create_command->add_flag("-q,--quiet", create_args.quiet,
                             "print nothing on success, show no progress");
    create_command->footer("Example:\n  qarvel-pack create app --main app.exe -o app.payload");

    qarvel::LauncherArguments launcher_args;
    auto* launcher_command = app.add_subcommand(
        "launcher", "make a finished launcher from an application folder or a payload, with its "
                    "identity, icon and rights");
    add_launcher_options(launcher_command, launcher_args);

    InspectArguments list_args, verify_args, extract_args;
    auto* list_command = app.add_subcommand(
        "list", "print each entry's size, stored checksum and name, the main executable first");
    add_file_argument(list_command, list_args);
    list_command->footer("Example:\n  qarvel-pack list app-onefile.exe");
    auto* verify_command = app.add_subcommand(
        "verify", "decode the whole payload and check every entry's name and checksum, the end of "
                  "the stream and the trailer; exits with 1 and the first fault found");
    add_file_argument(verify_command, verify_args);
    verify_command->add_flag("-q,--quiet", verify_args.quiet,
                             "print nothing when the payload is sound");
    verify_command->footer("Example:\n  qarvel-pack verify app-onefile.exe");
    auto* extract_command = app.add_subcommand(
        "extract", "write the entries below DIR as the launcher writes them below its target "
                   "directory, leaving files with matching checksums alone");
    add_file_argument(extract_command, extract_args);
    extract_command
        ->add_option("-o,--output", extract_args.output,
                     "the folder to write into; created when missing")
        ->type_name("DIR")
        ->required();
    extract_command->add_flag("-q,--quiet", extract_args.quiet, "print nothing on success");
    extract_command->footer("Example:\n  qarvel-pack extract app-onefile.exe -o unpacked");

    qarvel::IdentityCommandArguments identity_args;
    CLI::App* identity_command = nullptr;
    qarvel::add_identity_command(app, identity_args, &identity_command);

    // Unknown arguments are kept, to be named first with the option meant:
    // they are the likely cause of any other fault.
    app.allow_extras();
    for (CLI::App* command : app.get_subcommands({}))
        command->allow_extras();
    try {
        app.parse(argc, argv);
        std::string extras = qarvel::unexpected_arguments(app);
        if (!extras.empty())
            return refuse(extras);
    } catch (const CLI::Success& success) {
        return app.exit(success);
    } catch (const CLI::ParseError& error) {
        return refuse(qarvel::command_line_refusal(app, error));
    }
    if (!default_name.empty())
        return print_default(default_name);
    if (app.get_subcommands().empty())
        return refuse("name a command; " + command_list());

    try {
        if (*create_command)
            return create(create_args);
        if (*launcher_command) {
            launcher_args.compression_given = launcher_command->count("--level") +
                                                  launcher_command->count("--window-log") +
                                                  launcher_command->count("--threads") >
                                              0;
            qarvel::make_launcher(launcher_args);
            return 0;
        }
        if (*list_command)
            return list(list_args);
        if (*verify_command)
            return verify(verify_args);
        if (*extract_command)
            return extract(extract_args);
        if (*identity_command)
            return qarvel::run_identity_command(identity_args);
    } catch (const std::exception& error) {
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
