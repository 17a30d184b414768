#pragma once

// Fixed when a launcher is built (generated per launcher by the build).
extern const wchar_t target_directory_spec[];
extern const wchar_t company_name[];
extern const wchar_t product_name[];
extern const wchar_t version_text[];
