// The constants a launcher build generates, for the bench programs that run
// the launcher's own code.
#include "launcher/build_constants.h"

const wchar_t target_directory_spec[] = L"{PROGRAM_DIR}\\cache";
const wchar_t company_name[] = L"Lumbrook Crafts";
const wchar_t product_name[] = L"Quillowmere";
const wchar_t version_text[] = L"1.20.0.0";
