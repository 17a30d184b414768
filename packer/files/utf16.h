#pragma once

#include "packer/refusal.h"

#include <optional>
#include <string>

namespace qarvel {

// UTF-8 to UTF-16; nothing for invalid UTF-8.
std::optional<std::u16string> decode_utf8(const std::string& text);

// The same for text that must be valid; throws Refusal otherwise.
std::u16string utf8_to_utf16(const std::string& text);

// UTF-16 to UTF-8; an unpaired surrogate becomes U+FFFD.
std::string utf16_to_utf8(const std::u16string& text);

// Whether a UTF-16 unit lies outside a surrogate pair.
bool has_unpaired_surrogate(const std::u16string& text);

} // namespace qarvel
