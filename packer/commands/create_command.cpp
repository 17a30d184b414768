#include "packer/commands/create_command.h"

#include "packer/commands/pack_options.h"
#include "packer/commands/progress.h"
#include "packer/files/depfile.h"
#include "packer/files/host_files.h"
#include "packer/files/output_file.h"
#include "packer/files/temporary_file.h"
#include "packer/payload/app_folder.h"
#include "packer/refusal.h"

#include <cstdio>
#include <optional>
#include <stdexcept>

namespace qarvel {

CLI::App* add_create_command(CLI::App& app, CreateArguments& args) {
    auto* command = app.add_subcommand(
        "create", "pack an application folder into a payload; the main executable comes first, "
                  "the other files follow in name order");
    command->add_option("DIR", args.folder, "the application folder")->type_name("")->required();
    command->add_option("--main", args.main_path, "the main executable, relative to DIR")
        ->type_name("RELPATH")
        ->required();
    command
        ->add_option("-o,--output", args.output,
                     "the payload file to write; missing folders are created")
        ->type_name("FILE")
        ->required();
    add_pack_options(command, args.compression, args.depfile, "payload");
    command->add_flag("-q,--quiet", args.quiet, "print nothing on success, show no progress");
    command->footer("Example:\n  qarvel-pack create app --main app.exe -o app.payload");
    return command;
}

// The payload and its dependency file both take their names, or neither
// does: each is written under a temporary name first.
void create_payload(const CreateArguments& args) {
    refuse_folder(args.output, "-o", "payload file");
    if (!args.depfile.empty())
        refuse_folder(args.depfile, "--depfile", "dependency file");
    if (path_is_inside(utf8_path(args.folder), utf8_path(args.output)))
        throw Refusal("the output " + args.output + " lies inside the folder being packed");
    auto folder = collect_app_folder(utf8_path(args.folder), args.main_path);

    std::optional<TemporaryFile> depfile;
    if (!args.depfile.empty()) {
        depfile.emplace(utf8_path(args.depfile));
        write_text(*depfile, depfile_text(utf8_path(args.output), folder));
    }
    create_parent_folders(utf8_path(args.output));
    TemporaryFile payload(utf8_path(args.output));
    ProgressLine progress(stderr, args.quiet);
    auto result = write_payload(
        folder.files, payload, args.compression,
        [&](uint64_t in, uint64_t total, uint64_t out) { progress.update(in, total, out); });
    progress.finish();
    put_in_place_with_depfile(payload, depfile, utf8_path(args.output));
    if (!args.quiet)
        std::fprintf(stderr, "qarvel-pack: %zu files, %llu bytes packed into %llu bytes\n",
                     folder.files.size(),
                     static_cast<unsigned long long>(result.entry_stream_bytes),
                     static_cast<unsigned long long>(result.payload_bytes));
}

} // namespace qarvel
