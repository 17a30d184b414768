#pragma once

// Whether a file is a program the launcher can start: a Windows executable
// image for x86-64, or for x86, which 64-bit Windows also runs. Anything
// else ends every launch with "Bad EXE format", so it is refused when packed.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace qarvel {

// Empty when head, the first bytes of a file (at least its headers; 64 KiB
// is plenty), starts a Windows executable for x86-64 or x86; otherwise what
// the file is instead, such as "a text file" or "a DLL", to follow "is".
std::string not_a_windows_executable(const std::vector<unsigned char>& head);

// How much of a file's start not_a_windows_executable needs.
constexpr size_t executable_head_bytes = 65536;

} // namespace qarvel
