// The constants record a launcher carries, filled as qarvel-pack fills it
// for the example identity, for programs that link the launcher's functions
// and run them in their own process (the in-process tests, the bench's
// lock program).
#include "launcher/build_constants.h"

QARVEL_CONSTANTS_SECTION const BuildConstants build_constants = {
    QARVEL_CONSTANTS_MAGIC,
    L"{CACHE_DIR}\\LumbrookCrafts\\Quillowmere\\1.20",
    L"Lumbrook Crafts",
    L"Quillowmere",
    L"1.20.0.0",
    L"{PROGRAM_FILES}\\LumbrookCrafts\\Quillowmere\\1.20"};
