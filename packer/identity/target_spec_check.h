#pragma once

// The check of a launcher's target spec at packing time: what would make
// every launch fail, or unpack below an unintended folder, is refused or
// warned of here rather than found on the users' machines.

#include "packer/identity/identity.h"
#include "packer/refusal.h"

#include <string>

namespace qarvel {

// Throws Refusal, one line naming the fault, for a target spec that
// no machine expands as meant: an unknown or empty token, a nested or
// unterminated brace, or literal text and constant tokens already longer
// than the launcher's path buffer; and, for an elevated launcher, one whose
// folder cannot be checked because it starts at no drive or folder token. Reads the company,
// product and version of the completed identity for the constant tokens.
void check_target_spec(const Identity& completed);

// The warning for a target spec that expands but not as its writer likely
// meant: a relative or drive-less folder, which depends on where the
// launcher is started from, or %NAME% text, which stays as it is. Empty
// when there is nothing to warn of; otherwise one line without a prefix.
std::string target_spec_warning(const std::string& target_spec);

// Where a target spec starts, which decides whether its folder depends on
// the folder the launcher is started from: a drive (C:\ or \\?\C:\), a
// network path (\\server or \\?\UNC\), a folder or program token, or
// anything else (relative, drive-less, C:relative).
enum class TemplateStart { drive, network, folder_token, elsewhere };
TemplateStart template_start(const std::string& target_spec);

// The tokens a target spec may hold, as {NAME} separated by spaces.
std::string template_token_list();

} // namespace qarvel
