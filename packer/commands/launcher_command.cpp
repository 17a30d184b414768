#include "packer/commands/launcher_command.h"
#include "format/payload_index.h"

#include "packer/commands/identity_command.h"
#include "packer/commands/pack_options.h"
#include "packer/commands/progress.h"
#include "packer/files/depfile.h"
#include "packer/files/host_files.h"
#include "packer/files/output_file.h"
#include "packer/files/temporary_file.h"
#include "packer/files/utf16.h"
#include "packer/identity/target_spec_check.h"
#include "packer/image/embedded_files.h"
#include "packer/image/launcher_image.h"
#include "packer/image/launcher_parts.h"
#include "packer/image/windows_executable.h"
#include "packer/payload/app_folder.h"
#include "packer/payload/first_entry.h"
#include "packer/payload/payload_index.h"
#include "packer/payload/payload_inspection.h"
#include "packer/payload/payload_locator.h"
#include "packer/refusal.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <optional>

namespace fs = std::filesystem;

namespace qarvel {
namespace {

// The payload of a --payload file (a payload, or a launcher built around
// one), checked whole as verify checks it: a launcher must not carry a
// damaged payload.
// The refusal names the file in its line, as every refusal of launcher does.
PayloadSummary check_payload(const LoadedPayload& loaded, const std::string& file) {
    try {
        return verify_payload(loaded.data(), loaded.location.size, file);
    } catch (const Refusal& fault) {
        throw Refusal(fault.subject() + ": " + fault.what());
    }
}

void warn(const std::string& warning) {
    if (!warning.empty())
        std::fprintf(stderr, "qarvel-pack: warning: %s\n", warning.c_str());
}

} // namespace

CLI::App* add_launcher_command(CLI::App& app, LauncherArguments& args) {
    auto* command = app.add_subcommand(
        "launcher", "make a finished launcher from an application folder or a payload, with its "
                    "identity, icon and rights");
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
    add_identity_options(command, args.identity);
    add_pack_options(command, args.compression, args.depfile, "launcher");
    command->add_flag("--quick-check", args.quick_check,
                      "a launch that finds every file's size, times and attributes as its last "
                      "full check recorded them opens no file; not with --elevated");
    command
        ->add_option("--arg", args.child_arguments,
                     "a fixed argument for the child, placed before the user's own; may be given "
                     "more than once; {APP_DIR} names the folder the files are unpacked into; "
                     "--arg=-x for one that starts with a dash")
        ->type_name("TEXT")
        ->expected(1)
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll)
        ->allow_extra_args(false);
    command
        ->add_option("--env", args.child_variables,
                     "a variable set for the child alone, replacing any inherited value; may be "
                     "given more than once; the value knows the tokens --arg knows")
        ->type_name("NAME=VALUE")
        ->expected(1)
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll)
        ->allow_extra_args(false);
    command->add_flag("-q,--quiet", args.quiet, "print nothing on success, show no progress");
    command->footer("Example:\n  qarvel-pack launcher app --main app.exe -o dist/app-onefile.exe "
                    "--company \"Acme Tools\" --product Inkwell --version 2.4.0.0");
    return command;
}

void make_launcher(const LauncherArguments& args) {
    const EmbeddedFile image_file = launcher_image_file();
    if (image_file.size == 0)
        throw Refusal("this qarvel-pack was built without a launcher image, so it "
                      "cannot make launchers; use one built by scripts/lib/build.sh "
                      "or the project's own build");
    refuse_folder(args.output, "-o", "launcher");
    if (!args.depfile.empty())
        refuse_folder(args.depfile, "--depfile", "dependency file");
    if (!args.folder.empty() && !args.payload.empty())
        throw Refusal("a folder DIR and --payload FILE cannot be combined: a launcher "
                      "carries one or the other");
    if (args.folder.empty() && args.payload.empty())
        throw Refusal("give an application folder DIR with --main, or --payload FILE");
    if (!args.payload.empty() && !args.main_path.empty())
        throw Refusal("--main names the main executable of a folder; a payload "
                      "already names its own");
    if (!args.payload.empty() && args.compression_given)
        throw Refusal("--level, --window-log and --threads pack a folder; a payload "
                      "is already packed");
    if (!args.folder.empty() && args.main_path.empty())
        throw Refusal("the folder " + args.folder + " needs --main RELPATH");
    // An elevated launch trusts a file only once it has judged who may
    // change it, which means opening every file: the quick check would save
    // it nothing, and its record would be one more file to protect.
    if (args.quick_check && args.identity.elevated)
        throw Refusal("--quick-check cannot be combined with --elevated: an elevated launch "
                      "opens every file to check who may change it");
    const uint32_t index_options = args.quick_check ? payload_index::quick_check : 0;
    ChildArguments child;
    child.arguments = args.child_arguments;
    for (const std::string& name_value : args.child_variables)
        child.variables.push_back(parse_child_variable(name_value));
    check_child_arguments(child);

    Identity identity = args.identity;
    complete_identity(identity, utf8_path(args.output).filename().u8string());
    LauncherParts parts = launcher_parts(identity);
    parts.child_arguments = child_arguments_record(child);
    const LauncherImage image({image_file.bytes, image_file.bytes + image_file.size});

    std::optional<LoadedPayload> loaded;
    std::optional<AppFolder> folder;
    std::vector<unsigned char> index;
    if (!args.payload.empty()) {
        std::error_code error;
        uint64_t size = fs::file_size(utf8_path(args.payload), error);
        if (error)
            throw Refusal("cannot read " + args.payload + ": " + error.message());
        // Refused before reading: a file too large for any launcher.
        image.check_size(size, 0, parts.child_arguments.size(), parts.resources.size());
        loaded.emplace(args.payload);
        index = payload_index(check_payload(*loaded, args.payload).headers, loaded->location.size,
                              index_options);
        std::u16string main_name;
        std::string not_executable = not_a_windows_executable(first_entry_head(
            loaded->data(), loaded->location.size, executable_head_bytes, &main_name));
        if (!not_executable.empty())
            warn("the payload's first entry '" + utf16_to_utf8(main_name) +
                 "', which the launcher starts, is " + not_executable +
                 ": every launch will fail to start it");
    } else {
        if (path_is_inside(utf8_path(args.folder), utf8_path(args.output)))
            throw Refusal("the output " + args.output + " lies inside the folder being packed");
        folder = collect_app_folder(utf8_path(args.folder), args.main_path);
        warn(example_identity_warning(args.identity, identity));
    }
    warn(target_spec_warning(identity.target_spec));
    warn(elevated_folder_warning(identity));
    for (const std::string& warning : child_argument_warnings(child))
        warn(warning);

    std::optional<TemporaryFile> depfile;
    if (!args.depfile.empty()) {
        depfile.emplace(utf8_path(args.depfile));
        AppFolder named_payload;
        named_payload.files.push_back({utf8_path(args.payload), u"", 0});
        write_text(*depfile,
                   depfile_text(utf8_path(args.output), folder ? *folder : named_payload));
    }
    create_parent_folders(utf8_path(args.output));
    TemporaryFile launcher(utf8_path(args.output));
    uint64_t payload_bytes = 0;
    uint64_t launcher_bytes = 0;
    if (folder) {
        // Packed straight into its section: its size decides only what
        // follows it and the headers, written after it.
        ProgressLine progress(stderr, args.quiet);
        launcher_bytes = write_launcher(
            image, parts,
            [&](std::ostream& out) {
                PackResult packed =
                    write_payload(folder->files, out, args.output, args.compression,
                                  [&](uint64_t in, uint64_t total, uint64_t written) {
                                      progress.update(in, total, written);
                                  });
                progress.finish();
                payload_bytes = packed.payload_bytes;
                return WrittenPayload{payload_bytes,
                                      payload_index(packed.entries, payload_bytes, index_options)};
            },
            launcher);
    } else {
        payload_bytes = loaded->location.size;
        launcher_bytes =
            write_launcher(image, parts, loaded->data(), payload_bytes, index, launcher);
        // Windows replaces no file that is mapped ("MoveFileExW"), and the
        // output may be the very launcher the payload came from.
        loaded.reset();
    }
    put_in_place_with_depfile(launcher, depfile, utf8_path(args.output));
    if (!args.quiet)
        std::fprintf(stderr,
                     "qarvel-pack: %s: a %s launcher of %llu bytes, its payload %llu bytes\n",
                     args.output.c_str(), identity.windowed ? "windowed" : "console",
                     static_cast<unsigned long long>(launcher_bytes),
                     static_cast<unsigned long long>(payload_bytes));
}

} // namespace qarvel
