// The launcher image's constants: the record's magic and empty fields, for
// qarvel-pack to find by their section and fill in.
#include "launcher/build_constants.h"

QARVEL_CONSTANTS_SECTION const BuildConstants build_constants = {
    QARVEL_CONSTANTS_MAGIC, {}, {}, {}, {}, {}};
