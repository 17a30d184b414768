#pragma once

// Whether this launch runs as administrator, and so may run nothing that a
// program without those rights could have changed.

// The manifest asks for administrator rights; read from the image itself,
// so that a manifest edited after the build still counts.
bool manifest_requires_administrator();

// The process token is elevated: an installer running as administrator
// started the launcher, or the user chose "Run as administrator".
bool token_is_elevated();

// Either of the two.
bool launch_is_elevated();

// The owner the token gives what this process creates (TokenOwner): under
// the "object creator" owner policy the user rather than Administrators.
// Null when it cannot be read.
const void* token_default_owner();
