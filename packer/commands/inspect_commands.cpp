#include "packer/commands/inspect_commands.h"

#include "packer/files/host_files.h"
#include "packer/files/utf16.h"
#include "packer/image/child_arguments_record.h"
#include "packer/payload/payload_inspection.h"
#include "packer/payload/payload_locator.h"
#include "packer/payload/printable_name.h"
#include "packer/refusal.h"

#include <cinttypes>
#include <cstdio>
#include <filesystem>
#include <stdexcept>

namespace fs = std::filesystem;

namespace qarvel {
namespace {

unsigned long long as_ull(uint64_t value) {
    return static_cast<unsigned long long>(value);
}

// CLI::ExistingFile with the name read as UTF-8, as every path here is.
const CLI::Validator existing_file(
    [](std::string& name) -> std::string {
        std::error_code error;
        auto status = fs::status(utf8_path(name), error);
        if (!fs::exists(status))
            return "no such file: " + name;
        if (fs::is_directory(status))
            return name + " is a folder; name a payload or a launcher";
        return {};
    },
    "");

void add_file_argument(CLI::App* command, InspectArguments& args) {
    command->add_option("FILE", args.file, "a payload, or a launcher built around one")
        ->required()
        ->type_name("")
        ->check(existing_file);
}

} // namespace

InspectCommands add_inspect_commands(CLI::App& app, InspectArguments& list_args,
                                     InspectArguments& verify_args,
                                     InspectArguments& extract_args) {
    InspectCommands commands;
    commands.list = app.add_subcommand(
        "list", "print each entry's size, stored checksum and name, the main executable first");
    add_file_argument(commands.list, list_args);
    commands.list->footer("Example:\n  qarvel-pack list app-onefile.exe");
    commands.verify = app.add_subcommand(
        "verify", "decode the whole payload and check every entry's name and checksum, the end of "
                  "the stream and the trailer; exits with 1 and the first fault found");
    add_file_argument(commands.verify, verify_args);
    commands.verify->add_flag("-q,--quiet", verify_args.quiet,
                              "print nothing when the payload is sound");
    commands.verify->footer("Example:\n  qarvel-pack verify app-onefile.exe");
    commands.extract = app.add_subcommand(
        "extract", "write the entries below DIR as the launcher writes them below its target "
                   "directory, leaving files with matching checksums alone");
    add_file_argument(commands.extract, extract_args);
    commands.extract
        ->add_option("-o,--output", extract_args.output,
                     "the folder to write into; created when missing")
        ->type_name("DIR")
        ->required();
    commands.extract->add_flag("-q,--quiet", extract_args.quiet, "print nothing on success");
    commands.extract->footer("Example:\n  qarvel-pack extract app-onefile.exe -o unpacked");
    return commands;
}

void list_payload_file(const InspectArguments& args) {
    const LoadedPayload payload(args.file);
    list_payload(payload.data(), payload.location.size, args.file, [](const EntryHeader& entry) {
        std::printf("%12llu  %08" PRIx32 "  %s\n", as_ull(entry.size), entry.checksum,
                    printable_name(entry.name).c_str());
    });
    // A launcher's fixed arguments as the child's command line holds them,
    // so that an empty one or one with spaces shows as such.
    const ChildArguments child =
        read_launcher_child_arguments(payload.file.data(), payload.file.size(), args.file);
    for (const std::string& argument : child.arguments)
        std::printf("argument  %s\n",
                    utf16_to_utf8(quoted_argument(utf8_to_utf16(argument))).c_str());
    for (const ChildVariable& variable : child.variables)
        std::printf("variable  %s=%s\n", variable.name.c_str(), variable.value.c_str());
}

void verify_payload_file(const InspectArguments& args) {
    const LoadedPayload payload(args.file);
    const PayloadSummary summary = verify_payload(payload.data(), payload.location.size, args.file);
    if (!args.quiet)
        std::printf("%s: sound: %zu entries, %llu content bytes, a payload of %llu bytes at offset "
                    "%zu\n",
                    args.file.c_str(), summary.entries, as_ull(summary.content_bytes),
                    as_ull(payload.location.size), payload.location.offset);
}

void extract_payload_file(const InspectArguments& args) {
    std::error_code error;
    auto status = fs::status(utf8_path(args.output), error);
    if (fs::exists(status) && !fs::is_directory(status))
        throw Refusal(args.output + " is a file; extract writes into a folder, name one with -o");
    const LoadedPayload payload(args.file);
    const ExtractSummary summary =
        extract_payload(payload.data(), payload.location.size, args.file, utf8_path(args.output));
    if (!args.quiet)
        std::printf("%s: %zu files written, %zu up to date, into %s; main executable '%s'\n",
                    args.file.c_str(), summary.written, summary.up_to_date, args.output.c_str(),
                    printable_name(summary.main_name).c_str());
}

} // namespace qarvel
