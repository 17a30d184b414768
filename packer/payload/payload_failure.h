#pragma once

#include <stdexcept>
#include <string>

namespace qarvel {

// On the host, the launcher's failure routines throw this instead of ending
// the process, so tools and fuzzers share the launcher's payload reader.
struct PayloadError : std::runtime_error {
    explicit PayloadError(const std::string& message) : std::runtime_error(message) {}
};

} // namespace qarvel
