#include "launcher/launcher_state.h"

wchar_t target_directory[path_capacity_units];
wchar_t main_executable_path[path_capacity_units];
wchar_t entry_name[payload_format::name_capacity_units];
wchar_t index_entry_name[payload_format::name_capacity_units];
wchar_t entry_path[path_capacity_units];
unsigned char copy_buffer[content_chunk_bytes];
