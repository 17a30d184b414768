#pragma once

// The quick check, for launchers packed with it: a record in the target
// folder of what every file of the payload looked like in a directory
// listing (size, last-write and creation times, attributes) when a launch
// last verified or wrote them all. A later launch lists each folder once
// and, when every file is exactly as recorded, needs to open none. Files
// that are not in the payload are none of its business.
//
// A file changed with its size and times set back, or damaged on the disk
// itself, goes unnoticed until something else about it changes; the
// default check, which reads every file, notices both.

// Whether every file of the payload is as the record says, for the payload
// the index open now describes. False for a record that is missing, cut
// short, damaged or made for another payload.
bool files_match_check_record();

// Records what every file looks like now, under the cache lock; without
// the lock nothing is written, and the next launch checks in full.
void write_check_record();
