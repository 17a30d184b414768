#pragma once

// One lock per target directory, shared by every launch that unpacks into
// it and taken only by a launch that has a file to write. Writes into the
// cache then never overlap: a launch that finds a file missing or differing
// waits for the launch writing it, then looks again, and usually finds it
// up to date.
//
// The lock is a file in the target directory itself, ".qarvel-lock", held
// with an exclusive byte-range lock. Every spelling of the folder (letter
// case, short names, another drive letter or share, "\\?\"), every session
// and every elevation reaches the same file, and only a process that may
// create and delete files in the folder can open it. The system releases
// the byte lock the moment its holder ends, however it ends: a killed
// launch never holds up the next one. The file itself, hidden and empty,
// stays between launches, so that no handle on it that someone else keeps
// open can leave it pending deletion and later launches unable to open it.

// Takes the lock unless this launch holds it, waiting as long as another
// launch holds it. True when it was taken now: what the caller saw of the
// cache before may have changed while it waited. When no lock can be had,
// false, and the launch goes on without one.
bool take_cache_lock();

// Releases the lock if this launch holds it.
void release_cache_lock();
