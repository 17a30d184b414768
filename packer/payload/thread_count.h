#pragma once

// How many threads compress by default: the payload is the same bytes for
// any count, so every processor the process may use works, as long as the
// compressors' memory stays within reach.

#include "packer/payload/payload_writer.h"

namespace qarvel {

// The processors this process may run on (its affinity), at least 1.
int usable_processors();

// The threads a pack with these options uses when none are given: the
// usable processors, fewer when their compressors would take more than half
// of the machine's memory, and at least 1.
int default_thread_count(const CompressionOptions& options);

} // namespace qarvel
