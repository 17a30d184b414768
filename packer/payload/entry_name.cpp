#include "packer/payload/entry_name.h"

#include "format/payload_format.h"
#include "packer/files/windows_name.h"
#include "packer/payload/printable_name.h"
#include "packer/payload/windows_upper.h"
#include "payload/cache_file_names.h"

#include <algorithm>
#include <map>

namespace qarvel {
namespace {

bool is_surrogate(char16_t unit) {
    return unit >= 0xD800 && unit <= 0xDFFF;
}
bool is_high_surrogate(char16_t unit) {
    return unit >= 0xD800 && unit <= 0xDBFF;
}
bool is_low_surrogate(char16_t unit) {
    return unit >= 0xDC00 && unit <= 0xDFFF;
}

char16_t ascii_upper(char16_t unit) {
    return unit >= u'a' && unit <= u'z' ? unit - 32 : unit;
}

std::string quoted(const std::u16string& text) {
    return "'" + printable_name(text) + "'";
}

std::string component_problem(const std::u16string& component) {
    if (component.empty())
        return "has an empty folder component (two backslashes in a row, or one at the end)";
    if (component == u"." || component == u"..")
        return "has a " + quoted(component) + " component";
    std::string problem = windows_name_problem(component);
    if (problem.empty())
        return "";
    // A control character would garble the line that shows the component.
    if (has_control_character(component))
        return problem;
    return "has the component " + quoted(component) + ": it " + problem;
}

} // namespace

std::string entry_name_problem(const std::u16string& name) {
    if (name.empty())
        return "is empty";
    if (name.size() > payload_format::max_name_units)
        return "is " + std::to_string(name.size()) + " UTF-16 units long, more than " +
               std::to_string(payload_format::max_name_units);
    for (size_t i = 0; i < name.size(); ++i) {
        if (is_high_surrogate(name[i]) && i + 1 < name.size() && is_low_surrogate(name[i + 1]))
            ++i;
        else if (is_surrogate(name[i]))
            return "is not valid UTF-16";
    }
    if (name.front() == u'\\')
        return "starts with a backslash";
    if (name.size() >= 2 && name[1] == u':' && ascii_upper(name[0]) >= u'A' &&
        ascii_upper(name[0]) <= u'Z')
        return "starts with a drive letter";
    if (windows_name_key(name) == windows_name_key(lock_file_name))
        return "is the name of the launcher's lock file in the cache folder";
    if (windows_name_key(name) == windows_name_key(check_record_name))
        return "is the name of the launcher's quick-check record in the cache folder";
    size_t start = 0;
    while (true) {
        size_t end = name.find(u'\\', start);
        std::string problem = component_problem(name.substr(start, end - start));
        if (!problem.empty())
            return problem;
        if (end == std::u16string::npos)
            return "";
        start = end + 1;
    }
}

std::u16string windows_name_key(const std::u16string& name) {
    std::u16string key = name;
    for (auto& unit : key)
        unit = windows_upper(unit);
    return key;
}

std::string find_name_clash(const std::vector<std::u16string>& names) {
    std::map<std::u16string, const std::u16string*> files;
    for (const auto& name : names) {
        auto [it, added] = files.emplace(windows_name_key(name), &name);
        if (!added && *it->second == name)
            return quoted(name) + " appears twice";
        if (!added)
            return quoted(*it->second) + " and " + quoted(name) +
                   " differ only in letter case; Windows would see them as the same file";
    }
    for (const auto& name : names) {
        for (size_t end = name.find(u'\\'); end != std::u16string::npos;
             end = name.find(u'\\', end + 1)) {
            auto it = files.find(windows_name_key(name.substr(0, end)));
            if (it != files.end())
                return quoted(*it->second) + " is a file, but " + quoted(name) +
                       " needs a folder of that name";
        }
    }
    return "";
}

} // namespace qarvel
