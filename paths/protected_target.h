#pragma once

#include <windows.h>

// The target folder of a launch run as administrator: made and checked so
// that no program without administrator rights can change what the
// launcher runs.

// Ends the launch unless the expanded target, before it is made absolute,
// names a folder on a local drive: "X:\..." or "\\?\X:\...". A relative or
// drive-less folder depends on the current folder, and a share or another
// device cannot be judged by what it reports.
void refuse_unfixed_target_directory();

// Checks the target's volume, then every level from the drive down to the
// target folder, creating the missing levels below target_spec's
// machine-wide folder with protected rights, and ends the launch through
// fail_unprotected_folder at the first level that fails. Writes nothing
// before every level above the one it creates has passed.
void protect_target_directory(const wchar_t* target_spec);

// Ends the launch unless a folder below the target that exists already is
// protected as the target is.
void check_existing_folder(const wchar_t* folder);

// Whether an existing file below a protected target may count as up to
// date: it is no link, and only administrators may change it.
bool file_is_protected(HANDLE file);

// Whether protect_target_directory has run: the launch is elevated.
bool target_directory_is_protected();

// The attributes folders are created with: the protected descriptor once
// protect_target_directory has run, otherwise none (the system's default).
SECURITY_ATTRIBUTES* created_folder_security();

// Likewise for files, which CreateFileW gives a descriptor only when it
// creates them: a file written over keeps the one it has.
SECURITY_ATTRIBUTES* created_file_security();

// The attributes the cache lock file is created with: open to Administrators
// and SYSTEM alone in a protected folder, so that no one else can hold its
// lock; otherwise none.
SECURITY_ATTRIBUTES* created_lock_file_security();
