#include "packer/image/launcher_parts.h"

#include "packer/files/host_files.h"
#include "packer/files/utf16.h"
#include "packer/image/embedded_files.h"
#include "packer/image/icon_resources.h"
#include "packer/image/pe_records.h"
#include "packer/image/version_resource.h"

#include <stdexcept>
#include <utility>

namespace qarvel {
namespace {

std::vector<unsigned char> bytes_of(EmbeddedFile file) {
    return {file.bytes, file.bytes + file.size};
}

// The manifest: the template with its execution level. A program whose own
// manifest requires elevation cannot be started by a launcher that runs as
// the invoker (CreateProcessW fails with error 740): such a launcher must ask
// for the rights itself. The elevated console
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
    LauncherConstants constants = launcher_constants(identity);
    std::vector<unsigned char> icon =
        identity.icon.empty() ? bytes_of(default_icon_file()) : read_icon_file(identity.icon);
    std::vector<Resource> resources =
        icon_resources(icon, identity.icon.empty() ? "the default icon" : identity.icon);
    VersionStrings strings{constants.company,
                           utf8_to_utf16(identity.description),
                           constants.version,
                           utf8_to_utf16(identity.internal_name),
                           utf8_to_utf16(identity.copyright),
                           utf8_to_utf16(identity.original_filename),
                           constants.product};
    resources.push_back({pe::rt_version, 1, version_resource(strings, identity.version_numbers)});
    // "Using Side-by-side Assemblies as a Resource": an executable's
    // manifest is RT_MANIFEST 1.
    resources.push_back({pe::rt_manifest, 1, manifest(identity.elevated, identity.windowed)});
    resources.push_back({pe::rt_rcdata, 1, bytes_of(licence_notices_file())});
    return {std::move(constants), ResourceSection(std::move(resources)), identity.windowed, {}};
}

} // namespace qarvel
