// The constants a launcher build would generate, for the in-process tests.
#include "launcher/build_constants.h"

QARVEL_CONSTANTS_SECTION const BuildConstants build_constants = {
    QARVEL_CONSTANTS_MAGIC,
    L"{CACHE_DIR}\\LumbrookCrafts\\Quillowmere\\1.20",
    L"Lumbrook Crafts",
    L"Quillowmere",
    L"1.20.0.0",
    L"{PROGRAM_FILES}\\LumbrookCrafts\\Quillowmere\\1.20"};
