#pragma once

#include <cstddef>

// Entry content is copied, and checksummed, in chunks of at most this many
// bytes, so memory use does not follow the size of a file. qarvel-pack
// feeds its compressor in the same chunks.
constexpr size_t content_chunk_bytes = 32768;
