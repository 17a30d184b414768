#pragma once

#include <cstdint>

// The payload compiled into the launcher's read-only data by the build, with
// its length in bytes. The launcher never reads its own file.
extern "C" const unsigned char attached_payload[];
extern "C" const uint64_t attached_payload_length;
