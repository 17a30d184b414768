#pragma once

#include <cstddef>

// Path templates: UTF-16 text with tokens in braces, such as
// "{CACHE_DIR}\Company\Product". Capacities and rooms count UTF-16 units with
// the terminator included.

// Expands path_template into output. False when a literal does not fit, a
// token is unknown, or a folder or the module path is unavailable; output
// then holds what was expanded so far. A token value that does not fit, or
// a malformed cached value, ends the process through fail_bounds.
bool expand_path_template(wchar_t* output, const wchar_t* path_template, size_t capacity_units);

// Expands the tokens of a fixed argument or variable value: "{NAME}" with
// a known NAME and no brace inside, {APP_DIR} (the target directory) among
// them; everything else is copied as it is. False when a token cannot be
// expanded; text that does not fit ends the process through fail_bounds.
bool expand_argument_text(wchar_t* output, const wchar_t* text, size_t capacity_units);

// Appends the shell folder folder_id (a CSIDL) at output_end.
bool append_known_folder(wchar_t* output_end, int folder_id, size_t room_units);

// Expands the template's first token alone when the template starts with a
// folder's token ({TEMP}, {HOME}, {CACHE_DIR}, {PROGRAM_FILES},
// {PROGRAM_DIR}); false when it starts otherwise or the folder is unknown.
bool expand_leading_folder(wchar_t* output, const wchar_t* path_template, size_t capacity_units);

// Replaces the target directory by its absolute form.
void make_target_directory_absolute();
