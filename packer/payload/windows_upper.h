#pragma once

// A UTF-16 unit's upper case as Windows compares file names, from a table
// built into the packer, so the same whatever the build machine's locale:
// Unicode's simple mapping for letters that are the lower case of their
// capital. Surrogates and letters whose capital lies outside the Basic
// Multilingual Plane keep their case. A file of its own, with no other
// dependency, so that a Windows test can hold it against the system's.

namespace qarvel {

char16_t windows_upper(char16_t unit);

} // namespace qarvel
