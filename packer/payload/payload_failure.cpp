// Host versions of the launcher's failure routines that the payload reading
// code reaches: the same messages, thrown as refusals rather than printed.
#include "launcher/failure.h"
#include "packer/refusal.h"

void fail_plain(const char* message) {
    throw qarvel::Refusal(message);
}

void fail_bounds() {
    throw qarvel::Refusal("bounds exceeded");
}
