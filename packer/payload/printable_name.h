#pragma once

#include <string>

namespace qarvel {

// An entry name in UTF-8 for a terminal: every control character (below
// U+0020, and U+007F to U+009F) shows as "<U+001B>", so that a crafted name
// sends no escape sequence. Windows names cannot hold '<' or '>', so the
// form never stands for itself in a name the launcher accepts.
std::string printable_name(const std::u16string& name);

} // namespace qarvel
