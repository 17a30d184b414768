#pragma once

#include <windows.h>

// New content for the entry path goes to a partial file beside it and takes
// the entry path's place only when complete: another launch's child never
// finds the file truncated or half-written, and a launch that is killed
// leaves the old file (or none) behind.

// Creates the partial file of entry_path; INVALID_HANDLE_VALUE when it
// cannot be created.
HANDLE create_partial_file();

// Moves the complete partial file over the entry path and closes it. False
// when the entry path cannot be replaced (it is in use); the partial file is
// then deleted.
bool put_partial_file_in_place(HANDLE partial);

// Deletes the partial file and closes it.
void discard_partial_file(HANDLE partial);
