// The constants a launcher build would generate, for the in-process tests.
#include "launcher/build_constants.h"

const wchar_t target_directory_spec[] = L"{CACHE_DIR}\\LumbrookCrafts\\Quillowmere\\1.20";
const wchar_t company_name[] = L"Lumbrook Crafts";
const wchar_t product_name[] = L"Quillowmere";
const wchar_t version_text[] = L"1.20.0.0";
