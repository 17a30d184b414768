#pragma once

#include <windows.h>

// The target folder of an elevated launcher: made and checked so that no
// program without administrator rights can change what the launcher runs.

// Checks every level from the drive down to the target folder, creating
// the missing levels below the template's machine-wide folder with
// protected rights, and ends the launch through fail_unprotected_folder
// at the first level that fails. Writes nothing before every level above
// the one it creates has passed.
void protect_target_directory();

// The attributes folders are created with: the protected descriptor once
// protect_target_directory has run, otherwise none (the system's default).
SECURITY_ATTRIBUTES* created_folder_security();

// The attributes the cache lock file is created with: open to Administrators
// and SYSTEM alone in a protected folder, where the file then stays between
// launches; otherwise none.
SECURITY_ATTRIBUTES* created_lock_file_security();
