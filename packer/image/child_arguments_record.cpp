#include "packer/image/child_arguments_record.h"

#include "format/child_arguments.h"
#include "format/image_layout.h"
#include "format/payload_format.h"
#include "packer/files/utf16.h"
#include "packer/image/pe_reader.h"
#include "paths/template_tokens.h"

#include <algorithm>
#include <cstring>
#include <set>

namespace qarvel {
namespace {

#define QARVEL_ARGUMENT_TOKEN(name, identifier, kind) #name,
const char* const argument_tokens[] = {QARVEL_TEMPLATE_TOKENS(QARVEL_ARGUMENT_TOKEN)
                                           child_arguments::app_dir_token};
#undef QARVEL_ARGUMENT_TOKEN

std::string ascii_upper(std::string text) {
    for (char& c : text)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return text;
}

bool is_token(const std::string& name) {
    const std::string upper = ascii_upper(name);
    return std::any_of(std::begin(argument_tokens), std::end(argument_tokens),
                       [&](const char* token) { return upper == token; });
}

// Calls on_braced(name) for every "{NAME}" with no brace inside, and
// literal(unit) for the rest, as the launcher reads an argument: a token
// is such text with a known name, anything else is copied as it is.
template <typename Braced, typename Literal>
void scan(const std::u16string& text, Braced on_braced, Literal literal) {
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == u'{') {
            size_t end = text.find_first_of(u"{}", i + 1);
            if (end != std::u16string::npos && text[end] == u'}' &&
                on_braced(text.substr(i + 1, end - i - 1))) {
                i = end;
                continue;
            }
        }
        literal(text[i]);
    }
}

bool is_known(const std::u16string& name) {
    return is_token(utf16_to_utf8(name));
}

// The text with each token as long as a launcher expands one at most, and
// with a space, which forces quoting.
std::u16string longest_expansion(const std::u16string& text) {
    std::u16string out;
    scan(
        text,
        [&](const std::u16string& name) {
            if (!is_known(name))
                return false;
            out.append(child_arguments::token_units_counted - 1, u'x');
            out += u' ';
            return true;
        },
        [&](char16_t unit) { out += unit; });
    return out;
}

std::u16string checked_utf16(const std::string& text, const std::string& what) {
    std::optional<std::u16string> wide = decode_utf8(text);
    if (!wide)
        throw Refusal(what + " is not valid UTF-8");
    if (wide->find(u'\0') != std::u16string::npos)
        throw Refusal(what + " holds a zero character");
    return *wide;
}

void put_u32(std::vector<unsigned char>& out, uint32_t value) {
    unsigned char bytes[4];
    payload_format::put_u32_le(bytes, value);
    out.insert(out.end(), bytes, bytes + sizeof bytes);
}

void put_text(std::vector<unsigned char>& out, const std::u16string& text) {
    put_u32(out, static_cast<uint32_t>(text.size()));
    for (char16_t unit : text) {
        out.push_back(static_cast<unsigned char>(unit));
        out.push_back(static_cast<unsigned char>(unit >> 8));
    }
}

std::string argument_name(size_t index) {
    return "the fixed argument " + std::to_string(index + 1);
}

} // namespace

std::u16string quoted_argument(const std::u16string& argument) {
    if (!argument.empty() && argument.find_first_of(u" \t\n\v\"") == std::u16string::npos)
        return argument;
    std::u16string out = u"\"";
    for (size_t i = 0;; ++i) {
        size_t backslashes = 0;
        while (i < argument.size() && argument[i] == u'\\') {
            ++backslashes;
            ++i;
        }
        if (i == argument.size()) {
            out.append(2 * backslashes, u'\\');
            break;
        }
        out.append(argument[i] == u'"' ? 2 * backslashes + 1 : backslashes, u'\\');
        out += argument[i];
    }
    return out + u"\"";
}

ChildVariable parse_child_variable(const std::string& name_value) {
    size_t equals = name_value.find('=');
    if (equals == std::string::npos)
        throw Refusal("--env " + name_value + " gives no value: write NAME=VALUE");
    return {name_value.substr(0, equals), name_value.substr(equals + 1)};
}

void check_child_arguments(const ChildArguments& given) {
    using namespace child_arguments;
    if (given.arguments.size() > max_arguments)
        throw Refusal(std::to_string(given.arguments.size()) +
                      " fixed arguments given; a launcher holds at most " +
                      std::to_string(max_arguments));
    if (given.variables.size() > max_variables)
        throw Refusal(std::to_string(given.variables.size()) +
                      " variables given; a launcher sets at most " + std::to_string(max_variables));
    size_t units = 0;
    for (size_t i = 0; i < given.arguments.size(); ++i) {
        std::u16string argument = checked_utf16(given.arguments[i], argument_name(i));
        units += 1 + quoted_argument(longest_expansion(argument)).size();
    }
    if (units > max_argument_units)
        throw Refusal("the fixed arguments take up to " + std::to_string(units) +
                      " UTF-16 units of the child's command line, each token counted at " +
                      std::to_string(token_units_counted) + "; a launcher holds at most " +
                      std::to_string(max_argument_units));
    std::set<std::string> names;
    for (const ChildVariable& variable : given.variables) {
        const std::string what = "the variable " + variable.name;
        std::u16string name = checked_utf16(variable.name, "the name of " + what);
        if (name.empty())
            throw Refusal("--env =" + variable.value + " names no variable: write NAME=VALUE");
        if (name.size() > max_variable_name_units)
            throw Refusal("the variable name " + variable.name + " is longer than " +
                          std::to_string(max_variable_name_units) + " UTF-16 units");
        const std::string upper = ascii_upper(variable.name);
        if (upper.rfind("QARVEL_", 0) == 0)
            throw Refusal(what + " cannot be set: the launcher sets or clears the QARVEL_ "
                                 "variables itself");
        if (!names.insert(upper).second)
            throw Refusal(what + " is given twice");
        std::u16string value = checked_utf16(variable.value, "the value of " + what);
        size_t value_units = longest_expansion(value).size();
        if (value_units > max_variable_value_units)
            throw Refusal("the value of " + what + " takes up to " + std::to_string(value_units) +
                          " UTF-16 units, each token counted at " +
                          std::to_string(token_units_counted) + "; a variable holds at most " +
                          std::to_string(max_variable_value_units));
    }
}

std::vector<std::string> child_argument_warnings(const ChildArguments& given) {
    std::vector<std::string> warnings;
    auto check = [&](const std::string& text, const std::string& what) {
        std::optional<std::u16string> wide = decode_utf8(text);
        if (!wide)
            return;
        scan(
            *wide,
            [&](const std::u16string& name) {
                if (is_known(name))
                    return true;
                bool looks_like_token =
                    !name.empty() && std::all_of(name.begin(), name.end(), [](char16_t unit) {
                        return (unit >= u'A' && unit <= u'Z') || unit == u'_';
                    });
                if (looks_like_token)
                    warnings.push_back(what + " holds {" + utf16_to_utf8(name) +
                                       "}, which is no token and stays as it is; the tokens are "
                                       "{APP_DIR} and the target spec's");
                return false;
            },
            [](char16_t) {});
    };
    for (size_t i = 0; i < given.arguments.size(); ++i)
        check(given.arguments[i], argument_name(i) + " " + given.arguments[i]);
    for (const ChildVariable& variable : given.variables)
        check(variable.value, "the value of the variable " + variable.name);
    return warnings;
}

std::vector<unsigned char> child_arguments_record(const ChildArguments& given) {
    if (given.empty())
        return {};
    std::vector<unsigned char> record(std::begin(child_arguments::magic),
                                      std::end(child_arguments::magic));
    put_u32(record, static_cast<uint32_t>(given.arguments.size()));
    put_u32(record, static_cast<uint32_t>(given.variables.size()));
    for (const std::string& argument : given.arguments)
        put_text(record, utf8_to_utf16(argument));
    for (const ChildVariable& variable : given.variables) {
        put_text(record, utf8_to_utf16(variable.name));
        put_text(record, utf8_to_utf16(variable.value));
    }
    return record;
}

ChildArguments read_child_arguments_record(const unsigned char* bytes, size_t size,
                                           const std::string& file_name) {
    auto damaged = [&] { return Refusal(file_name, "its fixed arguments section is damaged"); };
    if (size < child_arguments::header_bytes ||
        std::memcmp(bytes, child_arguments::magic, sizeof child_arguments::magic) != 0)
        throw damaged();
    size_t offset = child_arguments::header_bytes;
    auto text = [&] {
        if (size - offset < 4)
            throw damaged();
        uint64_t units = payload_format::get_u32_le(bytes + offset);
        offset += 4;
        if (units > (size - offset) / 2)
            throw damaged();
        std::u16string out;
        for (uint64_t i = 0; i < units; ++i, offset += 2)
            out += static_cast<char16_t>(bytes[offset] | bytes[offset + 1] << 8);
        return utf16_to_utf8(out);
    };
    ChildArguments read;
    uint32_t arguments = payload_format::get_u32_le(bytes + child_arguments::argument_count_offset);
    uint32_t variables = payload_format::get_u32_le(bytes + child_arguments::variable_count_offset);
    for (uint32_t i = 0; i < arguments; ++i)
        read.arguments.push_back(text());
    for (uint32_t i = 0; i < variables; ++i) {
        std::string name = text();
        read.variables.push_back({name, text()});
    }
    if (offset != size)
        throw damaged();
    return read;
}

ChildArguments read_launcher_child_arguments(const unsigned char* file, size_t file_bytes,
                                             const std::string& file_name) {
    const PeHeaders headers = read_pe_headers(file, file_bytes);
    if (headers.shape != PeShape::windows_image)
        return {};
    for (const auto& section : headers.sections) {
        if (std::memcmp(section.name, image_layout::arguments_section_name, sizeof section.name) !=
            0)
            continue;
        uint64_t size = std::min(section.virtual_size, section.size_of_raw_data);
        if (uint64_t{section.pointer_to_raw_data} + size > file_bytes)
            throw Refusal(file_name, "its fixed arguments section is cut short");
        return read_child_arguments_record(file + section.pointer_to_raw_data,
                                           static_cast<size_t>(size), file_name);
    }
    return {};
}

} // namespace qarvel
