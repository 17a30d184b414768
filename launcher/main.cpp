// The launcher's entry point: one straight pass from start-up to the child's
// exit code. Every failure ends the process through launcher/failure.h.
#include "child/supervision.h"
#include "launcher/bounded_copy.h"
#include "launcher/build_constants.h"
#include "launcher/failure.h"
#include "launcher/launcher_kind.h"
#include "launcher/launcher_state.h"
#include "paths/environment.h"
#include "paths/path_template.h"
#include "paths/protected_target.h"
#include "payload/payload_reader.h"
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

    if (!expand_path_template(target_directory, target_directory_spec, path_capacity_units))
        fail_template_expansion(target_directory_spec);
    make_target_directory_absolute();
    // Run as administrator, nothing may run from a folder that programs
    // without those rights could have changed.
    if (launcher_is_elevated())
        protect_target_directory();

    if (!SetConsoleCtrlHandler(console_control_handler, TRUE))
        fail_plain("Error, failed to register signal handler.");

    open_payload_reader();
    unpack_all();
    close_payload_reader();

    set_launcher_directory();
    set_environment_value("QARVEL_ORIGINAL_ARGV0", argv[0]);

    return static_cast<int>(launch_child_and_wait(main_executable_path));
}
