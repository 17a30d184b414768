#pragma once

// Looks up a function of a system library, loading the library from the
// system folder by its full path on first use; null when either is missing.
// Libraries that bring much with them (shell32 pulls in the windowing
// system) are loaded this way so that a launch that needs none of their
// functions does not pay for them.
using SystemFunction = void (*)();
SystemFunction system_function(const wchar_t* library_file_name, const char* function_name);
