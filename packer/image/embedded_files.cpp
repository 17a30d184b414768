#include "packer/image/embedded_files.h"

#include <cstdint>

// Assembled by embedded_files.S from the files themselves.
extern "C" const unsigned char qarvel_launcher_image[], qarvel_manifest_template[],
    qarvel_default_icon[], qarvel_licence_notices[];
extern "C" const uint64_t qarvel_launcher_image_size, qarvel_manifest_template_size,
    qarvel_default_icon_size, qarvel_licence_notices_size;

namespace qarvel {

EmbeddedFile launcher_image_file() {
    return {qarvel_launcher_image, static_cast<size_t>(qarvel_launcher_image_size)};
}

EmbeddedFile manifest_template_file() {
    return {qarvel_manifest_template, static_cast<size_t>(qarvel_manifest_template_size)};
}

EmbeddedFile default_icon_file() {
    return {qarvel_default_icon, static_cast<size_t>(qarvel_default_icon_size)};
}

EmbeddedFile licence_notices_file() {
    return {qarvel_licence_notices, static_cast<size_t>(qarvel_licence_notices_size)};
}

} // namespace qarvel
