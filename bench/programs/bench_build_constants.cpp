// The constants a launcher build generates, for the bench programs that run
// the launcher's own code.
#include "launcher/build_constants.h"

QARVEL_CONSTANTS_SECTION const BuildConstants build_constants = {
    QARVEL_CONSTANTS_MAGIC,
    L"{PROGRAM_DIR}\\cache",
    L"Lumbrook Crafts",
    L"Quillowmere",
    L"1.20.0.0",
    L"{PROGRAM_FILES}\\LumbrookCrafts\\Quillowmere\\1.20"};
