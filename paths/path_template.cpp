#include "paths/path_template.h"

#include "launcher/bounded_copy.h"
#include "launcher/build_constants.h"
#include "launcher/failure.h"
#include "launcher/launcher_state.h"
#include "launcher/system_function.h"
#include "paths/environment.h"
#include "paths/run_values.h"
#include "paths/template_tokens.h"

#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <shlobj.h>
#include <windows.h>

namespace {

constexpr size_t token_name_capacity_units = 1024;
constexpr size_t known_folder_buffer_units = 264;

#define QARVEL_TOKEN_IDENTIFIER(name, identifier, kind) identifier,
enum class Token { QARVEL_TEMPLATE_TOKENS(QARVEL_TOKEN_IDENTIFIER) none };
#undef QARVEL_TOKEN_IDENTIFIER

struct TokenName {
    const wchar_t* name;
    Token token;
};

#define QARVEL_TOKEN_NAME(name, identifier, kind) {L"" #name, Token::identifier},
const TokenName token_names[] = {QARVEL_TEMPLATE_TOKENS(QARVEL_TOKEN_NAME)};
#undef QARVEL_TOKEN_NAME

wchar_t ascii_upper(wchar_t unit) {
    return unit >= L'a' && unit <= L'z' ? unit - (L'a' - L'A') : unit;
}

bool equal_ignoring_ascii_case(const wchar_t* a, const wchar_t* b) {
    for (; *a != 0 && *b != 0; ++a, ++b) {
        if (ascii_upper(*a) != ascii_upper(*b))
            return false;
    }
    return *a == *b;
}

Token look_up_token(const wchar_t* name) {
    for (const TokenName& candidate : token_names) {
        if (equal_ignoring_ascii_case(name, candidate.name))
            return candidate.token;
    }
    return Token::none;
}

// Appends a variable's value read twice: the first read decides, the second
// supplies the text, and a value that vanished in between is a fault.
void append_variable_again(wchar_t* output_end, size_t room_units, const char* variable) {
    wchar_t* value = get_environment_value(variable);
    if (value == nullptr)
        fail_bounds();
    append_bounded(output_end, room_units, value);
    free(value);
}

void append_process_id(wchar_t* output_end, size_t room_units) {
    wchar_t* parent = get_environment_value("QARVEL_ONEFILE_PARENT");
    if (parent != nullptr) {
        // Only "0" to "9": the runtime's iswdigit also takes other scripts'
        // digits and superscripts, which are no process id.
        for (const wchar_t* unit = parent; *unit != 0; ++unit) {
            if (*unit < L'0' || *unit > L'9')
                fail_bounds();
        }
        free(parent);
        append_variable_again(output_end, room_units, "QARVEL_ONEFILE_PARENT");
        return;
    }
    char narrow[128];
    snprintf(narrow, sizeof narrow, "%ld", static_cast<long>(GetCurrentProcessId()));
    append_narrow_bounded(output_end, room_units, narrow);
}

// A value generated once per process tree and kept in its variable.
void append_cached_run_value(wchar_t* output_end, size_t room_units, Token token) {
    const char* variable = token == Token::random    ? "QARVEL_ONEFILE_RANDOM"
                           : token == Token::time_us ? "QARVEL_ONEFILE_TIME_US"
                                                     : "QARVEL_ONEFILE_START";
    wchar_t* cached = get_environment_value(variable);
    if (cached != nullptr) {
        free(cached);
        append_variable_again(output_end, room_units, variable);
        return;
    }
    wchar_t value[32];
    if (token == Token::random) {
        wchar_t random_text[random_text_units + 1];
        make_random_text_now(random_text);
        copy_bounded(value, 32, random_text);
    } else if (token == Token::time_us) {
        make_time_us_text(value);
    } else {
        make_time_text(value);
    }
    set_environment_value(variable, value);
    append_bounded(output_end, room_units, value);
}

// Appends the token's value at output_end. False for the failures that the
// caller reports; overflows end the process.
bool append_token(Token token, wchar_t* output_end, size_t room_units) {
    switch (token) {
    case Token::temp: {
        // A folder that does not fit (the count then includes the
        // terminator), or none at all, cannot stand in the path: expanding
        // to nothing would put the target at the current drive's root.
        DWORD length = GetTempPathW(static_cast<DWORD>(room_units), output_end);
        if (length == 0 || length >= room_units) {
            output_end[0] = 0;
            return false;
        }
        return true;
    }
    case Token::program: {
        DWORD length = GetModuleFileNameW(nullptr, output_end, static_cast<DWORD>(room_units));
        if (length == 0)
            return false;
        // A path cut short to the room is kept; some systems then leave out
        // the terminator.
        if (length >= room_units)
            output_end[room_units - 1] = 0;
        return true;
    }
    case Token::program_base:
    case Token::program_dir: {
        if (!expand_path_template(output_end, L"{PROGRAM}", room_units))
            return false;
        size_t length = wcslen(output_end);
        if (token == Token::program_base) {
            if (length >= 4 && equal_ignoring_ascii_case(output_end + length - 4, L".exe"))
                output_end[length - 4] = 0;
        } else {
            wchar_t* last_backslash = wcsrchr(output_end, L'\\');
            if (last_backslash != nullptr)
                *last_backslash = 0;
        }
        return true;
    }
    case Token::pid:
        append_process_id(output_end, room_units);
        return true;
    case Token::home:
        return append_known_folder(output_end, CSIDL_PROFILE, room_units);
    case Token::cache_dir:
        return append_known_folder(output_end, CSIDL_LOCAL_APPDATA, room_units);
    case Token::program_files:
        return append_known_folder(output_end, CSIDL_PROGRAM_FILES, room_units);
    case Token::company:
        append_bounded(output_end, room_units, company_name);
        return true;
    case Token::product:
        append_bounded(output_end, room_units, product_name);
        return true;
    case Token::version:
    case Token::file_version:
    case Token::product_version:
        append_bounded(output_end, room_units, version_text);
        return true;
    case Token::random:
    case Token::time_us:
    case Token::time:
        append_cached_run_value(output_end, room_units, token);
        return true;
    case Token::none:
        break;
    }
    return false;
}

bool is_folder_token(Token token) {
    return token == Token::temp || token == Token::home || token == Token::cache_dir ||
           token == Token::program_files;
}

using FolderPathFunction = HRESULT(WINAPI*)(HWND, int, HANDLE, DWORD, LPWSTR);

FolderPathFunction folder_path_function() {
    static FolderPathFunction function =
        reinterpret_cast<FolderPathFunction>(system_function(L"shell32.dll", "SHGetFolderPathW"));
    return function;
}

} // namespace

bool append_known_folder(wchar_t* output_end, int folder_id, size_t room_units) {
    wchar_t folder[known_folder_buffer_units];
    FolderPathFunction get_folder_path = folder_path_function();
    if (get_folder_path == nullptr ||
        get_folder_path(nullptr, folder_id, nullptr, SHGFP_TYPE_CURRENT, folder) != S_OK)
        return false;
    append_bounded(output_end, room_units, folder);
    return true;
}

bool expand_path_template(wchar_t* output, const wchar_t* path_template, size_t capacity_units) {
    if (capacity_units == 0)
        fail_bounds();
    output[0] = 0;
    size_t length = 0;
    bool inside_token = false;
    wchar_t token_name[token_name_capacity_units];
    size_t token_name_length = 0;

    for (const wchar_t* unit = path_template; *unit != 0; ++unit) {
        if (*unit == L'{') {
            // A second "{" starts the token afresh.
            inside_token = true;
            token_name_length = 0;
        } else if (*unit == L'}' && inside_token) {
            inside_token = false;
            token_name[token_name_length] = 0;
            Token token = look_up_token(token_name);
            if (token == Token::none)
                return false;
            if (!append_token(token, output + length, capacity_units - length))
                return false;
            length += bounded_length(output + length, capacity_units - length);
            if (is_folder_token(token)) {
                while (length > 0 && output[length - 1] == L'\\')
                    output[--length] = 0;
            }
        } else if (inside_token) {
            // No token name is this long; such a template cannot expand.
            if (token_name_length == token_name_capacity_units - 1)
                return false;
            token_name[token_name_length++] = *unit;
        } else {
            if (capacity_units - length == 1)
                return false;
            output[length++] = *unit;
            output[length] = 0;
        }
    }
    return true;
}

bool expand_argument_text(wchar_t* output, const wchar_t* text, size_t capacity_units) {
    if (capacity_units == 0)
        fail_bounds();
    output[0] = 0;
    size_t length = 0;
    for (const wchar_t* unit = text; *unit != 0; ++unit) {
        const wchar_t* end = *unit == L'{' ? wcspbrk(unit + 1, L"{}") : nullptr;
        size_t name_units = end != nullptr ? static_cast<size_t>(end - unit - 1) : 0;
        if (end != nullptr && *end == L'}' && name_units < token_name_capacity_units) {
            wchar_t name[token_name_capacity_units];
            wmemcpy(name, unit + 1, name_units);
            name[name_units] = 0;
            Token token = look_up_token(name);
            bool app_dir = equal_ignoring_ascii_case(name, L"APP_DIR");
            if (token != Token::none || app_dir) {
                if (app_dir)
                    append_bounded(output + length, capacity_units - length, target_directory);
                else if (!append_token(token, output + length, capacity_units - length))
                    return false;
                length += bounded_length(output + length, capacity_units - length);
                if (app_dir || is_folder_token(token)) {
                    while (length > 0 && output[length - 1] == L'\\')
                        output[--length] = 0;
                }
                unit = end;
                continue;
            }
        }
        // Anything else, braces included, is the argument's own text.
        append_unit_bounded(output, capacity_units, *unit);
        ++length;
    }
    return true;
}

bool expand_leading_folder(wchar_t* output, const wchar_t* path_template, size_t capacity_units) {
    if (capacity_units == 0)
        fail_bounds();
    output[0] = 0;
    if (path_template[0] != L'{')
        return false;
    const wchar_t* end = wcschr(path_template, L'}');
    if (end == nullptr || end - path_template > static_cast<ptrdiff_t>(token_name_capacity_units))
        return false;
    wchar_t token[token_name_capacity_units + 2];
    size_t units = static_cast<size_t>(end - path_template) + 1;
    wmemcpy(token, path_template, units);
    token[units] = 0;
    token[units - 1] = 0;
    Token found = look_up_token(token + 1);
    if (!is_folder_token(found) && found != Token::program_dir)
        return false;
    token[units - 1] = L'}';
    return expand_path_template(output, token, capacity_units);
}

void make_target_directory_absolute() {
    wchar_t absolute[path_capacity_units];
    DWORD length = GetFullPathNameW(target_directory, path_capacity_units, absolute, nullptr);
    if (length == 0 || length > path_capacity_units - 1)
        fail_bounds();
    copy_bounded(target_directory, path_capacity_units, absolute);
}
