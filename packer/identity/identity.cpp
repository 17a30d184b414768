#include "packer/identity/identity.h"

#include "format/image_layout.h"
#include "packer/files/host_files.h"
#include "packer/files/utf16.h"
#include "packer/files/windows_name.h"
#include "packer/identity/target_spec_check.h"
#include "packer/refusal.h"

#include <cctype>
#include <optional>
#include <string_view>
#include <vector>

namespace qarvel {
namespace {

// Each text lands on one line of the version resource, of the launcher's
// constants and of the messages that quote it.
void check_text(const char* what, const std::string& text) {
    std::optional<std::u16string> units = decode_utf8(text);
    if (!units)
        throw Refusal(std::string("the ") + what + " is not valid UTF-8");
    if (has_control_character(*units))
        throw Refusal(std::string("the ") + what + " holds a control character");
}

// One folder name made from an identity text. Characters Windows forbids in
// names go, and so do braces, which would read as path-template tokens;
// Windows drops trailing dots and spaces, so they go too, and leading
// spaces with them. What is left must be a name Windows can create.
std::string folder_name(const char* what, const std::string& text, bool drop_spaces) {
    check_text(what, text);
    std::u16string name;
    for (char16_t unit : utf8_to_utf16(text)) {
        bool dropped =
            std::u16string_view(u"<>:\"/\\|?*{}").find(unit) != std::u16string_view::npos;
        if (!dropped && !(drop_spaces && unit == u' '))
            name += unit;
    }
    while (!name.empty() && (name.back() == u'.' || name.back() == u' '))
        name.pop_back();
    name.erase(0, name.find_first_not_of(u' '));
    std::string shown = std::string("the ") + what + " \"" + text + "\"";
    if (name.empty())
        throw Refusal(shown + " leaves no name for the cache folder; give a target spec");
    std::string problem = windows_name_problem(name);
    if (!problem.empty())
        throw Refusal(shown + " leaves the cache folder name '" + utf16_to_utf8(name) + "': it " +
                      problem + "; give a target spec");
    return utf16_to_utf8(name);
}

// A text longer than its room in the launcher is refused before anything is
// made of it, such as a cache folder name.
void check_room(const char* what, const std::string& text, size_t capacity_units) {
    size_t units = utf8_to_utf16(text).size();
    if (units >= capacity_units)
        throw Refusal(std::string("the ") + what + " is " + std::to_string(units) +
                      " UTF-16 units long; a launcher holds at most " +
                      std::to_string(capacity_units - 1));
}

// Patch versions get folders of their own, so that an update never has to
// replace the files of a version that is running; trailing zeros go, as
// 1.20.0.0 names the folder 1.20.
std::string version_folder(const std::array<uint16_t, 4>& numbers) {
    size_t kept = 2;
    for (size_t i = kept; i < numbers.size(); ++i)
        if (numbers[i] != 0)
            kept = i + 1;
    std::string folder;
    for (size_t i = 0; i < kept; ++i)
        folder += (i ? "." : "") + std::to_string(numbers[i]);
    return folder;
}

std::string ascii_upper(const std::string& text) {
    std::string upper;
    for (char c : text)
        upper += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return upper;
}

std::string without_last_extension(const std::string& file_name) {
    size_t dot = file_name.rfind('.');
    return dot == std::string::npos || dot == 0 ? file_name : file_name.substr(0, dot);
}

} // namespace

std::array<uint16_t, 4> parse_version(const std::string& version) {
    check_text("version", version);
    std::vector<std::string> numbers(1);
    for (char c : version) {
        if (c == '.')
            numbers.emplace_back();
        else
            numbers.back() += c;
    }
    bool four_numbers = numbers.size() == 4;
    for (const auto& number : numbers)
        four_numbers = four_numbers && !number.empty() &&
                       number.find_first_not_of("0123456789") == std::string::npos;
    if (!four_numbers)
        throw Refusal("version " + version + ": want four numbers, as 1.20.0.0");
    // Each number is a 16-bit field of the version resource. Its length is
    // compared first: a number too long for any integer is still refused.
    std::array<uint16_t, 4> parsed{};
    for (size_t i = 0; i < parsed.size(); ++i) {
        if (numbers[i].size() > 5 || std::stoul(numbers[i]) > 65535)
            throw Refusal("version " + version + ": each number must be at most 65535");
        parsed[i] = static_cast<uint16_t>(std::stoul(numbers[i]));
    }
    return parsed;
}

std::string default_target_spec(const std::string& root, const std::string& company,
                                const std::string& product,
                                const std::array<uint16_t, 4>& version) {
    return root + "\\" + folder_name("company", company, true) + "\\" +
           folder_name("product", product, false) + "\\" + version_folder(version);
}

std::string example_identity_warning(const Identity& as_given, const Identity& completed) {
    if (as_given.company.empty() && as_given.product.empty() && as_given.version.empty() &&
        as_given.target_spec.empty())
        return "this launcher keeps the example identity and unpacks into " +
               completed.target_spec +
               ", the cache folder that every such launcher shares; give a company, a product "
               "and a version (or a target spec) to choose a folder of its own";
    std::string kept;
    const std::pair<const std::string*, std::string> fields[] = {
        {&as_given.company, std::string("company \"") + default_company + "\""},
        {&as_given.product, std::string("product \"") + default_product + "\""},
        {&as_given.version, std::string("version ") + default_version},
    };
    for (const auto& [given, example] : fields)
        if (given->empty())
            kept += (kept.empty() ? "" : ", ") + example;
    if (kept.empty())
        return "";
    return "this launcher keeps the example's " + kept + " in its version information" +
           (as_given.target_spec.empty() ? " and its cache folder " + completed.target_spec : "") +
           "; give your own company, product and version";
}

std::string elevated_folder_warning(const Identity& completed) {
    if (!completed.elevated)
        return "";
    // Tokens are read in any case. A user may write below their profile,
    // their cache and their temporary folder, and chooses where a launcher
    // runs from (often Downloads).
    std::string spec = ascii_upper(completed.target_spec);
    for (const char* token :
         {"{CACHE_DIR}", "{HOME}", "{TEMP}", "{PROGRAM}", "{PROGRAM_BASE}", "{PROGRAM_DIR}"}) {
        if (spec.rfind(token, 0) == 0)
            return "this launcher asks for administrator rights, and its target spec " +
                   completed.target_spec +
                   " starts in a folder that programs without administrator rights may change: "
                   "it will refuse to run from it on most machines; leave the target spec out "
                   "for a folder below " +
                   elevated_cache_root;
    }
    return "";
}

void complete_identity(Identity& identity, const std::string& output_file_name) {
    const std::pair<const char*, const std::string*> texts[] = {
        {"company", &identity.company},
        {"product", &identity.product},
        {"version", &identity.version},
        {"target spec", &identity.target_spec},
        {"copyright", &identity.copyright},
        {"description", &identity.description},
        {"original file name", &identity.original_filename},
        {"internal name", &identity.internal_name},
        {"launcher's file name", &output_file_name},
    };
    for (const auto& [what, text] : texts)
        check_text(what, *text);

    if (identity.company.empty())
        identity.company = default_company;
    if (identity.product.empty())
        identity.product = default_product;
    if (identity.version.empty())
        identity.version = default_version;
    check_room("company", identity.company, image_layout::company_capacity_units);
    check_room("product", identity.product, image_layout::product_capacity_units);
    identity.version_numbers = parse_version(identity.version);
    if (identity.target_spec.empty()) {
        identity.target_spec =
            default_target_spec(identity.elevated ? elevated_cache_root : default_cache_root,
                                identity.company, identity.product, identity.version_numbers);
        identity.elevated_target_spec = default_target_spec(
            elevated_cache_root, identity.company, identity.product, identity.version_numbers);
    } else {
        identity.elevated_target_spec = identity.target_spec;
    }
    check_target_spec(identity);
    check_text("icon's file name", identity.icon);

    // The file description repeats the product unless told otherwise; the
    // platform's documentation asks for an internal name, and for a file
    // without one, the original file name without its extension.
    if (identity.description.empty())
        identity.description = identity.product;
    if (identity.original_filename.empty())
        identity.original_filename = output_file_name;
    if (identity.original_filename.empty())
        throw Refusal("the launcher's file name is needed for its original file name");
    if (identity.internal_name.empty())
        identity.internal_name = without_last_extension(identity.original_filename);
}

} // namespace qarvel
