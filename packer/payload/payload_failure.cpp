// Host versions of the launcher's failure routines that the payload reading
// code reaches: the same messages, thrown rather than printed.
#include "packer/payload/payload_failure.h"
#include "launcher/failure.h"

void fail_plain(const char* message) {
    throw qarvel::PayloadError(message);
}

void fail_bounds() {
    throw qarvel::PayloadError("bounds exceeded");
}
