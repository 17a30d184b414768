#pragma once

#include <string>

// What the system reports, for comparing expansions against on any machine.
namespace qarvel_test {

// A shell folder (CSIDL) as SHGetFolderPathW gives it.
std::wstring shell_folder(int folder_id);

// The temporary folder without its trailing backslashes.
std::wstring temporary_folder();

// This program's own path as GetModuleFileNameW gives it.
std::wstring module_path();

// Text up to, not including, the last backslash; all of it when there is none.
std::wstring before_last_backslash(const std::wstring& path);

} // namespace qarvel_test
