#include "packer/payload/printable_name.h"

#include "packer/files/utf16.h"

#include <cstdio>

namespace qarvel {
namespace {

bool is_control(char16_t unit) {
    return unit < 0x20 || (unit >= 0x7F && unit <= 0x9F);
}

} // namespace

std::string printable_name(const std::u16string& name) {
    std::string shown;
    std::u16string run;
    for (char16_t unit : name) {
        if (!is_control(unit)) {
            run.push_back(unit);
            continue;
        }
        shown += utf16_to_utf8(run);
        run.clear();
        char escaped[12];
        std::snprintf(escaped, sizeof escaped, "<U+%04X>", static_cast<unsigned>(unit));
        shown += escaped;
    }
    return shown + utf16_to_utf8(run);
}

} // namespace qarvel
