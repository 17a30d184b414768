#pragma once

#include <windows.h>

// New content for an entry path that already holds a file goes to a partial
// file beside it and takes the entry path's place only when complete and
// checked: another launch's child never finds the file truncated or
// half-written. A launch killed while writing leaves the old file and the
// partial file, which the next launch that writes the entry takes over or
// removes.

// Creates the partial file of entry_path; INVALID_HANDLE_VALUE when it
// cannot be created (no room for its name, or another program holds it).
HANDLE create_partial_file();

// Moves the complete partial file over the entry path and closes it. False
// when the entry path cannot be replaced; the partial file then stays open
// for the caller to copy or discard.
bool put_partial_file_in_place(HANDLE partial);

// Copies the partial file's content into output, the entry path opened for
// writing in place. False, with the system's error, when a read or write
// fails; output stays open either way.
bool copy_partial_file_to(HANDLE partial, HANDLE output);

// Deletes the partial file and closes it.
void discard_partial_file(HANDLE partial);

// Deletes what launches killed while writing entry_path left beside it:
// the partial file's name, and the names with a process id that earlier
// launchers wrote to.
void remove_leftover_partial_files();
