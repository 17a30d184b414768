#pragma once

// Writes every entry of the payload under the target directory, skipping
// files whose CRC-32 on disk already matches, and records the first entry's
// path as the main executable path. With an index beside the payload, every
// file is tested against it first, and nothing is decoded when all are up
// to date; otherwise, and for launchers without one, one pass over the
// stream tests and writes.
void unpack_all();
