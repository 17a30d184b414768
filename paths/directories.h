#pragma once

// Directory creation with a list of directories already made or known to
// exist, so each costs about one system call per run.

// True when the directory exists afterwards; its parent must exist.
bool ensure_directory(const wchar_t* directory);

// True when every directory above file_path exists afterwards; the last
// component is the file and is not created.
bool ensure_parent_directories(const wchar_t* file_path);

// Below a protected target: checks, once each, the folders between the
// target and file_path's file that exist, from the top down, and ends the
// launch at the first that fails. A missing folder ends the walk: what
// lies below it does not exist either, and is made protected.
void check_parent_directories(const wchar_t* file_path);

// The list: copies of the directories made or found this run, home first.
// Process-wide, as the launcher's other buffers are.
constexpr unsigned known_directory_capacity = 1024;
extern wchar_t* known_directories[known_directory_capacity];
extern unsigned known_directory_count;
