#pragma once

// One lock per target directory, shared by every launch that unpacks into
// it and taken only by a launch that has a file to write. Writes into the
// cache then never overlap: a launch that finds a file missing or differing
// waits for the launch writing it, then looks again, and usually finds it
// up to date. The lock is a named mutex, so the system releases it the
// moment its holder ends, however it ends: a killed launch never holds up
// the next one.

// Takes the lock unless this launch holds it, waiting as long as another
// launch holds it. True when it was taken now: what the caller saw of the
// cache before may have changed while it waited. When no lock can be had,
// false, and the launch goes on without one.
bool take_cache_lock();

// Releases the lock if this launch holds it.
void release_cache_lock();
