#pragma once

// What a launcher says it is: the company, product and version that its
// version information and path-template tokens share, the cache folder they
// name by default, and the checks of these inputs. Every way of building a
// launcher completes and checks an identity here.

#include "packer/refusal.h"

#include <array>
#include <cstdint>
#include <stdexcept>
#include <string>

namespace qarvel {

// The example identity, kept by a launcher that names none.
constexpr char default_company[] = "Lumbrook Crafts";
constexpr char default_product[] = "Quillowmere";
constexpr char default_version[] = "1.20.0.0";

// The path-template token a default cache folder starts from: the user's
// cache, or for an elevated launcher, which runs nothing from a folder that
// programs without administrator rights could change, Program Files.
constexpr char default_cache_root[] = "{CACHE_DIR}";
constexpr char elevated_cache_root[] = "{PROGRAM_FILES}";

// UTF-8 texts; an empty field is one not given.
struct Identity {
    std::string company, product, version;
    std::string target_spec;
    // Where a launch run as administrator unpacks, whatever the manifest
    // asks for: below the elevated root when the target spec is the
    // default, the target spec itself when one was given.
    std::string elevated_target_spec;
    std::string icon; // an .ico file; empty for the default icon, read when the launcher is made
    std::string copyright, description, original_filename, internal_name;
    bool elevated = false;
    bool windowed = false;
    // The version's four numbers, filled in by complete_identity.
    std::array<uint16_t, 4> version_numbers{};
};

// Fills every empty field but the icon and the copyright with its default
// and checks the whole identity; throws Refusal. An elevated
// launcher's target spec must start at a drive or at a folder token: a
// relative, drive-less or network folder cannot be checked. output_file_name (the
// launcher's file name, no folder) is the default original file name.
void complete_identity(Identity& identity, const std::string& output_file_name);

// The warning for a launcher that keeps any of the example's company,
// product and version (as_given is the identity before completion): its
// version information says so, and without a target spec of its own it
// unpacks into a folder that other launchers share. Empty when it keeps
// none; otherwise one line without a prefix.
std::string example_identity_warning(const Identity& as_given, const Identity& completed);

// The warning for an elevated launcher whose completed target spec starts in
// a folder of the user's or one chosen by where the launcher is run from;
// its check refuses such a folder on most machines. Empty when there is
// nothing to warn of; otherwise one line without a prefix.
std::string elevated_folder_warning(const Identity& completed);

// The cache folder of a launcher given no target spec:
// ROOT\<company without spaces>\<product>\<version up to its last non-zero
// number, at least two>. Throws Refusal when the company or the
// product leaves no folder name Windows can create.
std::string default_target_spec(const std::string& root, const std::string& company,
                                const std::string& product, const std::array<uint16_t, 4>& version);

// The one reader of a version text: four numbers of at most 65535, as
// 1.20.0.0. Throws Refusal otherwise.
std::array<uint16_t, 4> parse_version(const std::string& version);

} // namespace qarvel
