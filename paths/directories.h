#pragma once

// Directory creation with a list of directories already made or known to
// exist, so each costs about one system call per run.

// True when the directory exists afterwards; its parent must exist.
bool ensure_directory(const wchar_t* directory);

// True when every directory above file_path exists afterwards; the last
// component is the file and is not created.
bool ensure_parent_directories(const wchar_t* file_path);

// For tests: how many directories the list holds, and emptying it.
unsigned known_directory_count();
void forget_known_directories();
