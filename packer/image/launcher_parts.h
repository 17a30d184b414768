#pragma once

// Everything but the payload that a launcher carries, from its completed
// identity: the texts it reads at run time, its resources (icon, version
// information, manifest, licence notices) and its subsystem.

#include "packer/identity/identity.h"
#include "packer/image/launcher_image.h"

namespace qarvel {

// The texts a launcher reads, from a completed identity; throws
// std::runtime_error when one does not fit its room in the image, however
// the launcher is made.
LauncherConstants launcher_constants(const Identity& completed);

LauncherParts launcher_parts(const Identity& completed);

} // namespace qarvel
