#pragma once

// Files qarvel-pack carries inside itself, so that the one program is all a
// user needs to make a launcher: the launcher image built by the project's
// mingw-w64 build, the notices of what that image holds, the manifest
// template and the default icon.

#include <cstddef>

namespace qarvel {

struct EmbeddedFile {
    const unsigned char* bytes;
    size_t size;
};

// Empty in a qarvel-pack built without an image.
EmbeddedFile launcher_image_file();
// resources/launcher.manifest.in, with its @execution_level@ placeholder and
// the marker comments around its Common Controls dependency.
EmbeddedFile manifest_template_file();
// resources/qarvel.ico.
EmbeddedFile default_icon_file();
// The licence notices of the libraries in the image, written by the build
// that made it; empty without an image.
EmbeddedFile licence_notices_file();

} // namespace qarvel
