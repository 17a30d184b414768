#include "child/command_line.h"

#include "child/fixed_arguments.h"
#include "format/child_arguments.h"
#include "launcher/bounded_copy.h"
#include "launcher/failure.h"
#include "launcher/launcher_state.h"
#include "launcher/system_function.h"

#include <cwchar>
#include <windows.h>

static wchar_t child_command_line[child_command_line_capacity_units];
static wchar_t launcher_module_file_name[path_capacity_units];

static const wchar_t quote_forcing_units[] = L" \t\n\v\"";

// The quoting rules, each for the way CommandLineToArgvW and the C runtime
// split the text back into arguments:
// - An argument without space, tab, line feed, vertical tab or double quote
//   is copied as it is: only white space ends an argument, and backslashes
//   mean nothing special unless a double quote follows them.
// - Any other argument goes inside double quotes, so that its white space
//   stays within it. Line feed and vertical tab are quoted too, since some
//   splitters take them for white space.
// - An empty argument is written as "": left bare it would be no text at
//   all, and the child would not receive it.
// - A double quote inside the argument gets one backslash before it, and the
//   backslashes just before it are doubled: the splitter reads 2n
//   backslashes and a quote as n backslashes and a quote that opens or
//   closes quoting, 2n + 1 as n backslashes and a literal quote.
// - Backslashes followed by anything else are copied as they are, because
//   the splitter takes them literally: quoted paths keep single separators.
// - Backslashes that end a quoted argument are doubled, so that the closing
//   quote still closes it instead of becoming part of it.
void append_quoted_argument(wchar_t* command_line, size_t capacity_units, const wchar_t* argument) {
    if (argument[0] != 0 && wcspbrk(argument, quote_forcing_units) == nullptr) {
        append_bounded(command_line, capacity_units, argument);
        return;
    }
    append_unit_bounded(command_line, capacity_units, L'"');
    for (const wchar_t* unit = argument;; ++unit) {
        size_t backslashes = 0;
        while (*unit == L'\\') {
            ++backslashes;
            ++unit;
        }
        if (*unit == 0) {
            for (size_t i = 0; i < 2 * backslashes; ++i)
                append_unit_bounded(command_line, capacity_units, L'\\');
            break;
        }
        size_t escaped = *unit == L'"' ? 2 * backslashes + 1 : backslashes;
        for (size_t i = 0; i < escaped; ++i)
            append_unit_bounded(command_line, capacity_units, L'\\');
        append_unit_bounded(command_line, capacity_units, *unit);
    }
    append_unit_bounded(command_line, capacity_units, L'"');
}

using SplitFunction = wchar_t**(WINAPI*)(const wchar_t*, int*);

// The platform's splitter lives in shcore since Windows 8.1; shell32, which
// exports it on every version, costs far more to load.
static SplitFunction split_function() {
    SystemFunction function = system_function(L"shcore.dll", "CommandLineToArgvW");
    if (function == nullptr)
        function = system_function(L"shell32.dll", "CommandLineToArgvW");
    return reinterpret_cast<SplitFunction>(function);
}

size_t quoted_argument_units(const wchar_t* argument) {
    if (argument[0] != 0 && wcspbrk(argument, quote_forcing_units) == nullptr)
        return wcslen(argument);
    size_t units = 2;
    for (const wchar_t* unit = argument;; ++unit) {
        size_t backslashes = 0;
        while (*unit == L'\\') {
            ++backslashes;
            ++unit;
        }
        if (*unit == 0)
            return units + 2 * backslashes;
        units += (*unit == L'"' ? 2 * backslashes + 1 : backslashes) + 1;
    }
}

// Appends one more argument after a space, or ends the launch when the
// command line would not fit what CreateProcessW takes: a cut command line
// would hand the child other arguments than it was given.
static void append_child_argument(const wchar_t* argument) {
    size_t length = wcslen(child_command_line);
    if (length + 1 + quoted_argument_units(argument) > child_arguments::command_line_limit_units)
        fail_command_line_too_long();
    append_unit_bounded(child_command_line, child_command_line_capacity_units, L' ');
    append_quoted_argument(child_command_line, child_command_line_capacity_units, argument);
}

wchar_t* build_child_command_line() {
    int count = 0;
    SplitFunction split = split_function();
    wchar_t** arguments = split != nullptr ? split(GetCommandLineW(), &count) : nullptr;
    child_command_line[0] = 0;
    if (launcher_module_file_name[0] == 0) {
        // A result as long as the buffer means the name was cut short.
        DWORD length = GetModuleFileNameW(nullptr, launcher_module_file_name, path_capacity_units);
        if (length == 0 || length >= path_capacity_units)
            fail_bounds();
    }
    // The launcher's own name first, then the fixed arguments, then the
    // user's; without an argument array the user's are none.
    append_quoted_argument(child_command_line, child_command_line_capacity_units,
                           launcher_module_file_name);
    for_each_fixed_argument(append_child_argument);
    if (arguments == nullptr)
        return child_command_line;
    for (int i = 1; i < count; ++i)
        append_child_argument(arguments[i]);
    LocalFree(arguments);
    return child_command_line;
}
