// qarvel-pack: builds the payload of a one-file launcher from an application
// folder, makes a finished launcher from a folder or a payload, and lists,
// verifies and extracts the payload of a payload file or of a built launcher;
// completes and checks a launcher's identity for the build tooling.
#include "packer/app_folder.h"
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
            return "File does not exist: " + name;
        if (fs::is_directory(status))
            return "File is actually a directory: " + name;
        return {};
    },
    "FILE");

void add_file_argument(CLI::App* command, InspectArguments& args) {
    command->add_option("FILE", args.file, "a payload, or a launcher built around one")
        ->required()
        ->check(existing_file);
}

// The options mean what they mean for create and scripts/build-launcher.
void add_launcher_options(CLI::App* command, qarvel::LauncherArguments& args) {
    command->add_option("DIR", args.folder, "the application folder to pack");
    command->add_option("--main", args.main_path, "the main executable, relative to DIR");
    command->add_option("--payload", args.payload,
                        "a payload made by create (or a launcher): verified, then carried");
    command->add_option("-o,--output", args.output, "the launcher to write")->required();
    qarvel::add_identity_options(command, args.identity);
    command->add_option("--level", args.compression.level, "zstd compression level")
        ->check(CLI::Range(1, 22))
        ->capture_default_str();
    command
        ->add_option("--window-log", args.compression.window_log,
                     "zstd window log, at most 27; a smaller content gets a smaller window")
        ->check(CLI::Range(10, 27))
        ->capture_default_str();
    command
        ->add_option("--threads", args.compression.threads,
                     "compression threads; the launcher is the same for every count")
        ->check(CLI::Range(1, 256))
        ->capture_default_str();
    command->add_option("--depfile", args.depfile,
                        "also write a make-style dependency file for build systems");
    command->add_flag("-q,--quiet", args.quiet, "print nothing on success, show no progress");
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
        std::printf("%d\n", defaults.threads);
    return 0;
}

int run(int argc, char** argv) {
    qarvel::remove_temporary_files_on_interrupt();
    if (is_unknown_command(argc, argv)) {
        std::fprintf(stderr, "qarvel-pack: '%s' is not a command; %s\n", argv[1],
                     command_list().c_str());
        return 2;
    }

    CLI::App app{"qarvel-pack: builds and inspects the payload of a Qarvel one-file launcher",
                 "qarvel-pack"};
    app.require_subcommand(0, 1);
    // CLI11 reads "/x" as an option on Windows; here it is a path, as on Linux.
    app.allow_windows_style_options(false);
    app.set_version_flag("--version", std::string("qarvel-pack ") + QARVEL_PACK_VERSION +
                                          ", zstd " + ZSTD_versionString());
    std::string default_name;
    app.add_option("--print-default", default_name, "print the default of a create option and exit")
        ->check(CLI::IsMember({"level", "window-log", "threads"}));
    CreateArguments create_args;
    auto* create_command = app.add_subcommand(
        "create", "pack an application folder into a payload; the main executable comes first, "
                  "the other files follow in name order");
    create_command->add_option("DIR", create_args.folder, "the application folder")->required();
    create_command
        ->add_option("--main", create_args.main_path, "the main executable, relative to DIR")
        ->required();
    create_command->add_option("-o,--output", create_args.output, "the payload file to write")
        ->required();
    create_command->add_option("--level", create_args.compression.level, "zstd compression level")
        ->check(CLI::Range(1, 22))
        ->capture_default_str();
    create_command
        ->add_option("--window-log", create_args.compression.window_log,
                     "zstd window log, at most 27; a smaller content gets a smaller window")
        ->check(CLI::Range(10, 27))
        ->capture_default_str();
    create_command
        ->add_option("--threads", create_args.compression.threads,
                     "compression threads; the payload is the same for every count")
        ->check(CLI::Range(1, 256))
        ->capture_default_str();
    create_command->add_option("--depfile", create_args.depfile,
                               "also write a make-style dependency file for build systems");
    create_command->add_flag("-q,--quiet", create_args.quiet,
                             "print nothing on success, show no progress");

    qarvel::LauncherArguments launcher_args;
    auto* launcher_command = app.add_subcommand(
        "launcher", "make a finished launcher from an application folder or a payload, with its "
                    "identity, icon and rights");
    add_launcher_options(launcher_command, launcher_args);

    InspectArguments list_args, verify_args, extract_args;
    auto* list_command = app.add_subcommand(
        "list", "print each entry's size, stored checksum and name, the main executable first");
    add_file_argument(list_command, list_args);
    auto* verify_command = app.add_subcommand(
        "verify", "decode the whole payload and check every entry's name and checksum, the end of "
                  "the stream and the trailer; exits with 1 and the first fault found");
    add_file_argument(verify_command, verify_args);
    verify_command->add_flag("-q,--quiet", verify_args.quiet,
                             "print nothing when the payload is sound");
    auto* extract_command = app.add_subcommand(
        "extract", "write the entries below DIR as the launcher writes them below its target "
                   "directory, leaving files with matching checksums alone");
    add_file_argument(extract_command, extract_args);
    extract_command->add_option("-o,--output", extract_args.output, "the folder to write into")
        ->required();
    extract_command->add_flag("-q,--quiet", extract_args.quiet, "print nothing on success");

    qarvel::IdentityCommandArguments identity_args;
    CLI::App* identity_command = nullptr;
    qarvel::add_identity_command(app, identity_args, &identity_command);

    CLI11_PARSE(app, argc, argv);
    if (!default_name.empty())
        return print_default(default_name);
    if (app.get_subcommands().empty()) {
        std::fprintf(stderr, "qarvel-pack: name a command; %s\n", command_list().c_str());
        return 2;
    }

    try {
        if (*create_command)
            return create(create_args);
        if (*launcher_command) {
            launcher_args.compression_given = launcher_command->count("--level") +
                                                  launcher_command->count("--window-log") +
                                                  launcher_command->count("--threads") >
                                              0;
            return qarvel::make_launcher(launcher_args);
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
        std::fflush(stdout);
        std::fprintf(stderr, "qarvel-pack: error: %s\n", error.what());
        return 1;
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
