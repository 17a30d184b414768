// launcher-forge: a launcher around any bytes, for the tests that need one
// around a payload qarvel-pack rightly refuses (a wrong header, a damaged
// frame, an entry past a limit). It is qarvel-pack's own image writer, given
// the file's bytes verbatim: no payload check, no locating.
#include "packer/files/temporary_file.h"
#include "packer/identity/identity.h"
#include "packer/image/embedded_files.h"
#include "packer/image/launcher_image.h"
#include "packer/image/launcher_parts.h"
#include "packer/payload/payload_locator.h"

#include <CLI/CLI.hpp>
#include <cstdio>

int main(int argc, char** argv) {
    CLI::App app{"a launcher around any bytes, for tests"};
    std::string payload, output;
    qarvel::Identity identity;
    app.add_option("--payload", payload, "the bytes the launcher carries")->required();
    app.add_option("-o", output, "the launcher to write")->required();
    app.add_option("--target-spec", identity.target_spec);
    app.add_option("--company", identity.company);
    app.add_option("--product", identity.product);
    app.add_option("--version", identity.version);
    app.add_flag("--windowed", identity.windowed);
    app.add_flag("--elevated", identity.elevated);
    CLI11_PARSE(app, argc, argv);
    try {
        std::filesystem::path output_path(output);
        qarvel::complete_identity(identity, output_path.filename().string());
        const qarvel::EmbeddedFile image_file = qarvel::launcher_image_file();
        const qarvel::LauncherImage image({image_file.bytes, image_file.bytes + image_file.size});
        std::vector<unsigned char> bytes = qarvel::read_whole_file(payload);
        qarvel::TemporaryFile file(output_path);
        // No index: the launcher reads the bytes as the stream alone.
        qarvel::write_launcher(image, qarvel::launcher_parts(identity), bytes.data(), bytes.size(),
                               {}, file);
        file.put_in_place();
    } catch (const std::exception& error) {
        std::fprintf(stderr, "launcher-forge: %s\n", error.what());
        return 1;
    }
    return 0;
}
