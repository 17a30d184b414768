#pragma once

#include "format/payload_format.h"
#include "payload/content_chunk.h"

#include <cstddef>

// Process-wide working buffers. The launcher's data travels through these,
// not through parameters, so this is where to see who writes what:
//
//   buffer                filled by                  read by
//   target_directory      the entry point, through   unpacking (entry paths), the cache lock
//                         template expansion, once
//   entry_name            unpacking, per entry       unpacking (entry_path)
//   index_entry_name      unpacking, per entry       unpacking (against entry_name)
//   entry_path            unpacking, per entry       unpacking, partial files, directory
//                                                    creation, the open-for-writing failure
//   main_executable_path  unpacking, first entry     the entry point (the child's file)
//   copy_buffer           unpacking (the reader)     unpacking, partial files (to files)
//
// Capacities are UTF-16 units including the terminator, or bytes.
constexpr size_t path_capacity_units = 4096;

extern wchar_t target_directory[path_capacity_units];
extern wchar_t main_executable_path[path_capacity_units];
extern wchar_t entry_name[payload_format::name_capacity_units];
extern wchar_t index_entry_name[payload_format::name_capacity_units];
extern wchar_t entry_path[path_capacity_units];
extern unsigned char copy_buffer[content_chunk_bytes];
