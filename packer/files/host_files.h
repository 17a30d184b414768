#pragma once

// What the packer asks of the file system that differs between the Linux
// and the Windows build; everything else goes through std::filesystem.

#include "packer/refusal.h"

#include <cstdio>
#include <filesystem>
#include <string>

namespace qarvel {

// A path from UTF-8 text, such as an argument: std::filesystem reads char
// strings in the ANSI code page on Windows.
std::filesystem::path utf8_path(const std::string& text);

// The path in '/' form for messages; a name that does not convert (an
// unpaired surrogate on Windows) shows U+FFFD rather than failing.
std::string shown_path(const std::filesystem::path& path);

// One name of a folder as UTF-16; throws Refusal naming it when it
// is not valid UTF-8 (Linux) or UTF-16 (Windows).
std::u16string name_as_utf16(const std::filesystem::path& name,
                             const std::filesystem::path& relative);

// The folder's path the walk starts from: the resolved path on Linux; on
// Windows the "\\?\" form of its full path, so that no file below it meets
// the 260-unit limit (std::filesystem cannot resolve links there).
std::filesystem::path walk_root(const std::filesystem::path& folder);

// The path made absolute and normal, links resolved where it exists, for
// telling whether one path lies below another; the path need not exist.
std::filesystem::path comparable_path(const std::filesystem::path& path);

// Whether the path is a symbolic link, or on Windows any reparse point (a
// junction or a symbolic link), without following it.
bool is_link(const std::filesystem::path& path);

// The path with every link resolved, or empty when it leads to nothing. On
// Windows this is the final path of the opened file, so two spellings of
// one folder compare equal.
std::filesystem::path resolved_path(const std::filesystem::path& path);

// Throws "cannot read 'RELATIVE': <the system's reason>" when the file
// cannot be opened for reading as the packer will, for example because
// another program holds it without sharing reads.
void check_readable(const std::filesystem::path& source, const std::filesystem::path& relative);

// The form of the path the system opens beyond 260 units: on Windows the
// "\\?\" form of its full path; elsewhere the path itself.
std::filesystem::path long_path(const std::filesystem::path& path);

// "\\?\" before a full Windows path ("\\?\UNC\" for "\\server\share"); a
// path already in that form or a device path stays as it is.
std::wstring long_path_form(const std::wstring& full_path);

#ifdef _WIN32
// The system's own words for a Windows error code, in UTF-8, without the
// closing full stop and line break.
std::string system_message(unsigned long error);
#endif

// Whether the stream is a terminal or console a person watches.
bool is_console(std::FILE* stream);

} // namespace qarvel
