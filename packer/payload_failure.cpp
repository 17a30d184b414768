// Host versions of the launcher's failure routines: the same messages,
// thrown rather than printed.
#include "packer/payload_failure.h"
#include "launcher/failure.h"

void fail_plain(const char* message) {
    throw qarvel::PayloadError(message);
}

void fail_with_system_error(const char* message, unsigned long error_code) {
    throw qarvel::PayloadError(std::string(message) + " ([Error " + std::to_string(error_code) +
                               "])");
}

void fail_open_for_writing() {
    throw qarvel::PayloadError("Error, failed to open an entry for writing.");
}

void fail_template_expansion(const wchar_t*) {
    throw qarvel::PayloadError("Error, couldn't runtime expand spec.");
}

void fail_bounds() {
    throw qarvel::PayloadError("bounds exceeded");
}
