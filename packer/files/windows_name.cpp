#include "packer/files/windows_name.h"

#include <string_view>

namespace qarvel {
namespace {

char16_t ascii_upper(char16_t unit) {
    return unit >= u'a' && unit <= u'z' ? unit - 32 : unit;
}

} // namespace

// Windows reserves the ports numbered with the superscript digits one to
// three (U+00B9, U+00B2, U+00B3) as well as those with 1 to 9.
bool is_device_name(const std::u16string& name) {
    static const char16_t* const devices[] = {u"CON", u"PRN",    u"AUX",
                                              u"NUL", u"CONIN$", u"CONOUT$"};
    std::u16string stem = name.substr(0, name.find(u'.'));
    while (!stem.empty() && stem.back() == u' ')
        stem.pop_back();
    for (auto& unit : stem)
        unit = ascii_upper(unit);
    for (const char16_t* device : devices)
        if (stem == device)
            return true;
    if (stem.size() != 4 || (stem.compare(0, 3, u"COM") != 0 && stem.compare(0, 3, u"LPT") != 0))
        return false;
    char16_t number = stem[3];
    return (number >= u'1' && number <= u'9') || number == u'\u00B9' || number == u'\u00B2' ||
           number == u'\u00B3';
}

bool has_control_character(const std::u16string& name) {
    for (char16_t unit : name)
        if (unit < 0x20)
            return true;
    return false;
}

std::string windows_name_problem(const std::u16string& name) {
    if (name.empty())
        return "is empty";
    if (has_control_character(name))
        return "holds a control character";
    for (char16_t unit : name) {
        if (std::u16string_view(u"<>:\"/\\|?*").find(unit) != std::u16string_view::npos)
            return "holds the character '" + std::string(1, static_cast<char>(unit)) +
                   "', which Windows forbids in names";
    }
    if (name.size() > max_windows_name_units)
        return "is " + std::to_string(name.size()) + " UTF-16 units long, more than the " +
               std::to_string(max_windows_name_units) + " Windows allows in one name";
    if (name.back() == u'.' || name.back() == u' ')
        return "ends in a dot or a space, which Windows drops";
    if (is_device_name(name))
        return "is a device name, which Windows opens as a device";
    return "";
}

} // namespace qarvel
