#include "packer/commands/identity_command.h"

#include "packer/files/host_files.h"
#include "packer/files/utf16.h"
#include "packer/identity/target_spec_check.h"
#include "packer/image/launcher_image.h"
#include "packer/image/launcher_parts.h"

#include <cstdio>
#include <filesystem>
#include <utility>
#include <vector>

namespace qarvel {
void add_identity_options(CLI::App* command, Identity& identity) {
    command
        ->add_option("--company", identity.company,
                     "the company in the version information and the cache folder's name "
                     "(default \"Lumbrook Crafts\", the example's)")
        ->type_name("TEXT");
    command
        ->add_option("--product", identity.product,
                     "the product, likewise (default \"Quillowmere\", the example's)")
        ->type_name("TEXT");
    command
        ->add_option("--version", identity.version,
                     "the version A.B.C.D, each number at most 65535 (default 1.20.0.0, the "
                     "example's)")
        ->type_name("A.B.C.D");
    command
        ->add_option("--target-spec", identity.target_spec,
                     "where the files are unpacked, a path template such as "
                     "{CACHE_DIR}\\Acme\\Ink\\2.4 (default {CACHE_DIR}\\<company without "
                     "spaces>\\<product>\\<version up to its last non-zero number, at least "
                     "two>; {PROGRAM_FILES} in place of {CACHE_DIR} with --elevated); its tokens, "
                     "in any letter case: " +
                         template_token_list())
        ->type_name("TEMPLATE");
    command->add_option("--icon", identity.icon, "an .ico file (default the Qarvel icon)")
        ->type_name("FILE");
    command->add_option("--copyright", identity.copyright, "LegalCopyright (default none)")
        ->type_name("TEXT");
    command
        ->add_option("--description", identity.description, "FileDescription (default the product)")
        ->type_name("TEXT");
    command
        ->add_option("--original-filename", identity.original_filename,
                     "OriginalFilename (default the file name of -o)")
        ->type_name("TEXT");
    command
        ->add_option("--internal-name", identity.internal_name,
                     "InternalName (default the original file name without its extension)")
        ->type_name("TEXT");
    command->add_flag("--elevated", identity.elevated,
                      "the launcher asks for administrator rights, and runs only from a folder "
                      "that programs without them cannot change");
    command->add_flag("--windowed", identity.windowed,
                      "the windowed launcher, for applications with windows");
}

void add_identity_command(CLI::App& app, IdentityCommandArguments& args, CLI::App** command) {
    *command = app.add_subcommand(
        "identity", "complete and check a launcher's identity as every way of building one "
                    "does, and print it; refuses a bad one with one line and exit code 1");
    (*command)
        ->add_option("-o,--output", args.output,
                     "the launcher's file; its name is the default original file name")
        ->type_name("OUT.exe")
        ->required();
    add_identity_options(*command, args.identity);
    (*command)->footer("Example:\n  qarvel-pack identity -o inkwell.exe --company \"Acme Tools\" "
                       "--product Inkwell --version 2.4.1.0");
}

int run_identity_command(const IdentityCommandArguments& args) {
    Identity identity = args.identity;
    complete_identity(identity, utf8_path(args.output).filename().u8string());
    // What a launcher carries must fit its room in the image, and its icon
    // must be sound, however it is made.
    launcher_parts(identity);
    std::string warning = example_identity_warning(args.identity, identity);

    const std::pair<const char*, std::string> fields[] = {
        {"company", identity.company},
        {"product", identity.product},
        {"version", identity.version},
        {"target-spec", identity.target_spec},
        {"elevated-target-spec", identity.elevated_target_spec},
        {"icon", identity.icon},
        {"copyright", identity.copyright},
        {"description", identity.description},
        {"original-filename", identity.original_filename},
        {"internal-name", identity.internal_name},
        {"elevated", identity.elevated ? "yes" : "no"},
        {"windowed", identity.windowed ? "yes" : "no"},
        {"warning", warning},
        {"elevated-warning", elevated_folder_warning(identity)},
        {"target-spec-warning", target_spec_warning(identity.target_spec)},
    };
    for (const auto& [name, value] : fields)
        std::printf("%s: %s\n", name, value.c_str());
    return 0;
}

} // namespace qarvel
