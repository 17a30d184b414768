#include "packer/launcher_command.h"
#include "packer/host_files.h"

#include "packer/app_folder.h"
#include "packer/depfile.h"
#include "packer/embedded_files.h"
#include "packer/launcher_image.h"
#include "packer/output_file.h"
#include "packer/payload_inspection.h"
#include "packer/payload_locator.h"
#include "packer/pe_records.h"
#include "packer/progress.h"
#include "packer/target_spec_check.h"
#include "packer/temporary_file.h"
#include "packer/utf16.h"
#include "packer/version_resource.h"
#include "packer/windows_executable.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <optional>

namespace fs = std::filesystem;

namespace qarvel {
namespace {

std::vector<unsigned char> bytes_of(EmbeddedFile file) {
    return {file.bytes, file.bytes + file.size};
}

// The manifest as the compiled launcher's: the template with its execution
// level. A program whose own manifest requires elevation cannot be started
// by a launcher that runs as the invoker (CreateProcessW fails with error
// 740): such a launcher must ask for the rights itself. The elevated console
// launcher has no use for the Common Controls dependency: it goes, with the
// two marker comments around it, which go from every other launcher's
// manifest.
std::vector<unsigned char> manifest(bool elevated, bool windowed) {
    std::string text(reinterpret_cast<const char*>(manifest_template_file().bytes),
                     manifest_template_file().size);
    const std::string placeholder = "@execution_level@";
    size_t at = text.find(placeholder);
    if (at == std::string::npos)
        throw std::logic_error("the manifest template has no execution level");
    text.replace(at, placeholder.size(), elevated ? "requireAdministrator" : "asInvoker");
    const std::string begin = "  <!-- common-controls -->\n", end = "  <!-- /common-controls -->\n";
    size_t begin_at = text.find(begin), end_at = text.find(end);
    if (begin_at == std::string::npos || end_at == std::string::npos || end_at < begin_at)
        throw std::logic_error("the manifest template has no Common Controls markers");
    if (elevated && !windowed) {
        text.erase(begin_at, end_at + end.size() - begin_at);
    } else {
        text.erase(end_at, end.size());
        text.erase(begin_at, begin.size());
    }
    return {text.begin(), text.end()};
}

uint64_t resource_bytes(const LauncherParts& parts) {
    return resource_section(parts.resources, 0).size();
}

// The payload of a --payload file (a payload, or a launcher built around
// one), checked whole as verify checks it: a launcher must not carry a
// damaged payload.
void check_payload(const LoadedPayload& loaded, const std::string& file) {
    std::string fault = first_payload_fault(loaded.data(), loaded.location.size);
    if (!fault.empty())
        throw std::runtime_error(file + ": " + fault);
}

void warn(const std::string& warning) {
    if (!warning.empty())
        std::fprintf(stderr, "qarvel-pack: warning: %s\n", warning.c_str());
}

} // namespace

LauncherConstants launcher_constants(const Identity& completed) {
    LauncherConstants constants = {
        utf8_to_utf16(completed.target_spec), utf8_to_utf16(completed.company),
        utf8_to_utf16(completed.product), utf8_to_utf16(completed.version),
        utf8_to_utf16(completed.elevated_target_spec)};
    check_launcher_constants(constants);
    return constants;
}

LauncherParts launcher_parts(const Identity& identity) {
    LauncherParts parts;
    parts.windowed = identity.windowed;
    parts.constants = launcher_constants(identity);

    std::vector<unsigned char> icon = identity.icon.empty()
                                          ? bytes_of(default_icon_file())
                                          : read_whole_file(utf8_path(identity.icon));
    parts.resources =
        icon_resources(icon, identity.icon.empty() ? "the default icon" : identity.icon);
    VersionStrings strings{parts.constants.company,
                           utf8_to_utf16(identity.description),
                           parts.constants.version,
                           utf8_to_utf16(identity.internal_name),
                           utf8_to_utf16(identity.copyright),
                           utf8_to_utf16(identity.original_filename),
                           parts.constants.product};
    parts.resources.push_back({pe::rt_version, 1, version_resource(strings)});
    // "Using Side-by-side Assemblies as a Resource": an executable's
    // manifest is RT_MANIFEST 1.
    parts.resources.push_back({pe::rt_manifest, 1, manifest(identity.elevated, identity.windowed)});
    parts.resources.push_back({pe::rt_rcdata, 1, bytes_of(licence_notices_file())});
    return parts;
}

int make_launcher(const LauncherArguments& args) {
    std::vector<unsigned char> image = bytes_of(launcher_image_file());
    if (image.empty())
        throw std::runtime_error("this qarvel-pack was built without a launcher image, so it "
                                 "cannot make launchers; use one built by scripts/lib/build.sh "
                                 "or the project's own build");
    refuse_folder(args.output, "-o", "launcher");
    if (!args.depfile.empty())
        refuse_folder(args.depfile, "--depfile", "dependency file");
    if (!args.folder.empty() && !args.payload.empty())
        throw std::runtime_error("a folder DIR and --payload FILE cannot be combined: a launcher "
                                 "carries one or the other");
    if (args.folder.empty() && args.payload.empty())
        throw std::runtime_error("give an application folder DIR with --main, or --payload FILE");
    if (!args.payload.empty() && !args.main_path.empty())
        throw std::runtime_error("--main names the main executable of a folder; a payload "
                                 "already names its own");
    if (!args.payload.empty() && args.compression_given)
        throw std::runtime_error("--level, --window-log and --threads pack a folder; a payload "
                                 "is already packed");
    if (!args.folder.empty() && args.main_path.empty())
        throw std::runtime_error("the folder " + args.folder + " needs --main RELPATH");

    Identity identity = args.identity;
    complete_identity(identity, utf8_path(args.output).filename().u8string());
    LauncherParts parts = launcher_parts(identity);
    uint64_t resources = resource_bytes(parts);

    std::optional<LoadedPayload> loaded;
    std::optional<AppFolder> folder;
    if (!args.payload.empty()) {
        std::error_code error;
        uint64_t size = fs::file_size(utf8_path(args.payload), error);
        if (error)
            throw std::runtime_error("cannot read " + args.payload + ": " + error.message());
        // Refused before reading: a file too large for any launcher.
        lay_out_launcher(image, size, resources, false);
        loaded.emplace(args.payload);
        check_payload(*loaded, args.payload);
        std::u16string main_name;
        std::string not_executable = not_a_windows_executable(
            first_entry_head(loaded->data(), loaded->location.size, &main_name));
        if (!not_executable.empty())
            warn("the payload's first entry '" + utf16_to_utf8(main_name) +
                 "', which the launcher starts, is " + not_executable +
                 ": every launch will fail to start it");
    } else {
        if (path_is_inside(utf8_path(args.folder), utf8_path(args.output)))
            throw std::runtime_error("the output " + args.output +
                                     " lies inside the folder being packed");
        folder = collect_app_folder(utf8_path(args.folder), args.main_path);
        warn(example_identity_warning(args.identity, identity));
    }
    warn(target_spec_warning(identity.target_spec));
    warn(elevated_folder_warning(identity));

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
                payload_bytes = write_payload(folder->files, out, args.output, args.compression,
                                              [&](uint64_t in, uint64_t total, uint64_t written) {
                                                  progress.update(in, total, written);
                                              })
                                    .payload_bytes;
                progress.finish();
                return payload_bytes;
            },
            launcher);
    } else {
        payload_bytes = loaded->location.size;
        launcher_bytes = write_launcher(image, parts, loaded->data(), payload_bytes, launcher);
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
    return 0;
}

} // namespace qarvel
