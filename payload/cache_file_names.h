#pragma once

// The launcher's own files in the target folder: the cache lock, and the
// quick check's record. qarvel-pack refuses a top-level entry of either
// name (in any letter case).
constexpr char16_t lock_file_name[] = u".qarvel-lock";
constexpr char16_t check_record_name[] = u".qarvel-check";
