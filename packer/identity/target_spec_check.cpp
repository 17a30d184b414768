#include "packer/identity/target_spec_check.h"

#include "launcher/launcher_state.h"
#include "packer/files/utf16.h"
#include "packer/refusal.h"
#include "paths/template_tokens.h"

#include <cctype>
#include <vector>

namespace qarvel {
namespace {

enum class TokenKind { folder, program, constant, run };

struct TemplateToken {
    const char* name;
    TokenKind kind;
};

#define QARVEL_PACKER_TOKEN(name, identifier, kind) {#name, TokenKind::kind},
const TemplateToken template_tokens[] = {QARVEL_TEMPLATE_TOKENS(QARVEL_PACKER_TOKEN)};
#undef QARVEL_PACKER_TOKEN

std::string ascii_upper(std::string text) {
    for (char& c : text)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

// The launcher reads token names in any letter case.
const TemplateToken* find_token(const std::string& name) {
    const std::string upper = ascii_upper(name);
    for (const auto& token : template_tokens)
        if (upper == token.name)
            return &token;
    return nullptr;
}

const std::string& constant_value(const std::string& name, const Identity& completed) {
    if (name == "COMPANY")
        return completed.company;
    if (name == "PRODUCT")
        return completed.product;
    return completed.version;
}

Refusal spec_error(const std::string& spec, const std::string& fault) {
    return Refusal("the target spec " + spec + " " + fault);
}

bool is_drive_letter(char c) {
    return std::isalpha(static_cast<unsigned char>(c)) != 0;
}

} // namespace

std::string template_token_list() {
    std::string list;
    for (const auto& token : template_tokens)
        list += std::string(list.empty() ? "" : " ") + "{" + token.name + "}";
    return list;
}

void check_target_spec(const Identity& completed) {
    const std::string& spec = completed.target_spec;
    if (spec.empty())
        throw Refusal("the target spec is empty");
    // Expanded as the launcher expands it: "{" starts a token, "}" ends one,
    // and a "}" outside a token is a literal character.
    size_t known_units = 0;
    size_t open = std::string::npos;
    for (size_t i = 0; i < spec.size(); ++i) {
        char c = spec[i];
        if (c == '{') {
            if (open != std::string::npos)
                throw spec_error(
                    spec, "has a brace inside the token after " + spec.substr(open, i - open) +
                              "; the launcher would drop " + spec.substr(open, i - open));
            open = i;
        } else if (c == '}' && open != std::string::npos) {
            std::string name = spec.substr(open + 1, i - open - 1);
            open = std::string::npos;
            if (name.empty())
                throw spec_error(spec, "has an empty token {}");
            const TemplateToken* token = find_token(name);
            if (token == nullptr && ascii_upper(name) == "APP_DIR")
                throw spec_error(spec, "holds {APP_DIR}, which is no path-template token; "
                                       "for the launcher's own folder write {PROGRAM_DIR}");
            if (token == nullptr)
                throw spec_error(spec, "holds the unknown token {" + name + "}; the tokens are " +
                                           template_token_list());
            if (token->kind == TokenKind::constant)
                known_units += utf8_to_utf16(constant_value(token->name, completed)).size();
        } else if (open == std::string::npos) {
            // A multibyte UTF-8 character counts once per UTF-16 unit.
            unsigned char byte = static_cast<unsigned char>(c);
            if ((byte & 0xC0) != 0x80)
                known_units += byte >= 0xF0 ? 2 : 1;
        }
    }
    if (open != std::string::npos)
        throw spec_error(spec, "has an unterminated token " + spec.substr(open) +
                                   "; the launcher would drop it");
    const size_t limit = path_capacity_units - 1;
    if (known_units > limit)
        throw Refusal("the target spec expands to at least " + std::to_string(known_units) +
                      " UTF-16 units before any folder token; a launcher's folder holds "
                      "at most " +
                      std::to_string(limit));
    TemplateStart start = template_start(spec);
    if (completed.elevated && start != TemplateStart::drive && start != TemplateStart::folder_token)
        throw spec_error(spec, "of a launcher that asks for administrator rights must start with "
                               "a drive (C:\\) or a folder token ({PROGRAM_FILES}): a relative, "
                               "drive-less or network folder cannot be checked");
}

TemplateStart template_start(const std::string& target_spec) {
    std::string spec = target_spec;
    if (spec.rfind("\\\\?\\", 0) == 0) {
        spec.erase(0, 4);
        if (ascii_upper(spec.substr(0, 4)) == "UNC\\")
            return TemplateStart::network;
    } else if (spec.rfind("\\\\", 0) == 0) {
        return TemplateStart::network;
    }
    if (spec.size() >= 3 && is_drive_letter(spec[0]) && spec[1] == ':' &&
        (spec[2] == '\\' || spec[2] == '/'))
        return TemplateStart::drive;
    if (!spec.empty() && spec[0] == '{') {
        size_t end = spec.find('}');
        const TemplateToken* token =
            end == std::string::npos ? nullptr : find_token(spec.substr(1, end - 1));
        if (token != nullptr &&
            (token->kind == TokenKind::folder || token->kind == TokenKind::program))
            return TemplateStart::folder_token;
    }
    return TemplateStart::elsewhere;
}

std::string target_spec_warning(const std::string& spec) {
    std::vector<std::string> faults;
    if (template_start(spec) == TemplateStart::elsewhere)
        faults.push_back("does not start at a drive (C:\\) or a folder token ({CACHE_DIR}, "
                         "{PROGRAM_DIR}), so the launcher unpacks below whatever folder it is "
                         "started from");
    size_t percent = spec.find('%');
    if (percent != std::string::npos && spec.find('%', percent + 1) != std::string::npos)
        faults.push_back("holds %NAME% text, which the launcher does not expand (write a token "
                         "such as {CACHE_DIR})");
    if (faults.empty())
        return "";
    std::string warning = "the target spec " + spec + " " + faults[0];
    if (faults.size() > 1)
        warning += ", and " + faults[1];
    return warning;
}

} // namespace qarvel
