// The launcher's entry point: one straight pass from start-up to the child's
// exit code. Every failure ends the process through launcher/failure.h.
#include "child/supervision.h"
#include "launcher/bounded_copy.h"
#include "launcher/build_constants.h"
#include "launcher/elevation.h"
#include "launcher/failure.h"
#include "launcher/launcher_state.h"
#include "paths/environment.h"
#include "paths/path_template.h"
#include "paths/protected_target.h"
#include "payload/unpack.h"

#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <windows.h>

static void set_parent_process_id() {
    char narrow[128];
    snprintf(narrow, sizeof narrow, "%ld", static_cast<long>(GetCurrentProcessId()));
    wchar_t wide[128] = {0};
    append_narrow_bounded(wide, 128, narrow);
    set_environment_value("QARVEL_ONEFILE_PARENT", wide);
}

static void set_launcher_directory() {
    wchar_t directory[launcher_path_capacity_units];
    copy_bounded(directory, launcher_path_capacity_units, get_launcher_path());
    wchar_t* last_backslash = wcsrchr(directory, L'\\');
    if (last_backslash != nullptr)
        *last_backslash = 0;
    set_environment_value("QARVEL_ONEFILE_DIRECTORY", directory);
}

// An elevated child starts in the target folder, where no unelevated
// program writes, rather than in the caller's (often Downloads), where a
// DLL it probes for and does not ship could wait for it; the caller's
// folder stays known for resolving relative arguments. Unelevated children
// start where the launcher was started, and an inherited value goes.
static const wchar_t* child_current_directory(bool elevated) {
    if (!elevated) {
        clear_environment_value("QARVEL_ONEFILE_CALLER_DIRECTORY");
        return nullptr;
    }
    wchar_t caller_directory[path_capacity_units];
    DWORD units = GetCurrentDirectoryW(path_capacity_units, caller_directory);
    if (units == 0 || units >= path_capacity_units)
        fail_bounds();
    set_environment_value("QARVEL_ONEFILE_CALLER_DIRECTORY", caller_directory);
    return target_directory;
}

// A launch run as administrator, by its manifest or by whoever started it,
// unpacks where an elevated launcher of the same identity does, and only
// into a folder that no one else may change.
static const wchar_t* chosen_target_spec(bool elevated) {
    if (elevated && elevated_target_directory_spec[0] != 0)
        return elevated_target_directory_spec;
    return target_directory_spec;
}

int wmain(int, wchar_t** argv) {
    // A DLL planted beside the launcher (a Downloads folder) or in the
    // current directory must never be loaded: libraries that system DLLs
    // load by name come from System32 alone ("SetDefaultDllDirectories";
    // the child does not inherit it), and the current directory leaves the
    // search of any other load too ("SetDllDirectoryW").
    SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
    SetDllDirectoryW(L"");

    // Values inherited from a parent launcher are never reused.
    clear_environment_value("QARVEL_ONEFILE_START");
    clear_environment_value("QARVEL_ONEFILE_TIME_US");
    clear_environment_value("QARVEL_ONEFILE_RANDOM");
    set_parent_process_id();

    bool elevated = launch_is_elevated();
    const wchar_t* target_spec = chosen_target_spec(elevated);
    if (!expand_path_template(target_directory, target_spec, path_capacity_units))
        fail_template_expansion(target_spec);
    if (elevated)
        refuse_unfixed_target_directory();
    make_target_directory_absolute();
    // Run as administrator, nothing may run from a folder that programs
    // without those rights could have changed.
    if (elevated)
        protect_target_directory(target_spec);

    if (!SetConsoleCtrlHandler(console_control_handler, TRUE))
        fail_plain("Error, failed to register signal handler.");

    unpack_all();

    set_launcher_directory();
    set_environment_value("QARVEL_ORIGINAL_ARGV0", argv[0]);

    const wchar_t* current_directory = child_current_directory(elevated);
    return static_cast<int>(launch_child_and_wait(main_executable_path, current_directory));
}
