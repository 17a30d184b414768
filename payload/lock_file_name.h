#pragma once

// The launcher keeps its cache lock in a file of this name in the target
// folder, so qarvel-pack refuses a top-level entry of that name (in any
// letter case).
constexpr char16_t lock_file_name[] = u".qarvel-lock";
