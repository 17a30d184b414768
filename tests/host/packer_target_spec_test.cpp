// A launcher's identity as qarvel-pack checks it before anything is made:
// target specs that no machine expands as meant are refused, those that
// depend on where the launcher runs are warned of, and so is every field
// that keeps the example's value.
#include "support/packer_run.h"
#include "support/windows_program.h"

#include <gtest/gtest.h>

namespace fs = std::filesystem;
using namespace qarvel_test;

namespace {

const std::vector<std::string> own_identity = {"--company", "Acme",      "--product",
                                               "Ink",       "--version", "2.4.0.0"};

RunResult identity_with(const std::vector<std::string>& options) {
    std::vector<std::string> arguments = {"identity", "-o", "ink.exe"};
    arguments.insert(arguments.end(), options.begin(), options.end());
    return run_pack(arguments);
}

std::string field(const std::string& out, const std::string& name) {
    size_t at = out.find("\n" + name + ": ");
    if (at == std::string::npos)
        return "<no " + name + " line>";
    at += name.size() + 3;
    return out.substr(at, out.find('\n', at) - at);
}

struct SpecRefusal {
    const char* name;
    std::string spec, line;
};

class TargetSpecRefusal : public ::testing::TestWithParam<SpecRefusal> {};

const std::string long_literal = "C:\\" + std::string(4093, 'x');

TEST_P(TargetSpecRefusal, IsOneLineAndExitCode1) {
    std::vector<std::string> options = own_identity;
    options.insert(options.end(), {"--target-spec", GetParam().spec});
    auto result = identity_with(options);
    EXPECT_EQ(result.exit_code, 1);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, "qarvel-pack: error: " + GetParam().line + "\n");
}

INSTANTIATE_TEST_SUITE_P(
    Identity, TargetSpecRefusal,
    ::testing::Values(
        SpecRefusal{"unknown_token", "{LOCALAPPDATA}\\Acme\\Ink",
                    "the target spec {LOCALAPPDATA}\\Acme\\Ink holds the unknown token "
                    "{LOCALAPPDATA}; the tokens are {TEMP} {PROGRAM} {PROGRAM_BASE} {PROGRAM_DIR} "
                    "{PID} {HOME} {CACHE_DIR} {PROGRAM_FILES} {COMPANY} {PRODUCT} {VERSION} "
                    "{FILE_VERSION} {PRODUCT_VERSION} {RANDOM} {TIME_US} {TIME}"},
        SpecRefusal{"empty_token", "{CACHE_DIR}\\{}\\x",
                    "the target spec {CACHE_DIR}\\{}\\x has an empty token {}"},
        SpecRefusal{"nested_brace", "{CACHE_DIR}\\{A{PID}}",
                    "the target spec {CACHE_DIR}\\{A{PID}} has a brace inside the token after "
                    "{A; the launcher would drop {A"},
        SpecRefusal{"unterminated", "{CACHE_DIR}\\Acme\\{VERSION",
                    "the target spec {CACHE_DIR}\\Acme\\{VERSION has an unterminated token "
                    "{VERSION; the launcher would drop it"},
        SpecRefusal{"argument_token", "{APP_DIR}\\cache",
                    "the target spec {APP_DIR}\\cache holds {APP_DIR}, which is no "
                    "path-template token; for the launcher's own folder write {PROGRAM_DIR}"},
        SpecRefusal{"literal_too_long", long_literal + "{TEMP}",
                    "the target spec expands to at least 4096 UTF-16 units before any folder "
                    "token; a launcher's folder holds at most 4095"},
        // The constant tokens count with their values: "Acme" is 4 units.
        SpecRefusal{"constants_too_long", "C:\\" + std::string(4089, 'x') + "{COMPANY}",
                    "the target spec expands to at least 4096 UTF-16 units before any folder "
                    "token; a launcher's folder holds at most 4095"}),
    [](const auto& info) { return std::string(info.param.name); });

struct SpecWarning {
    const char* name;
    std::string spec, warning;
};

class TargetSpecWarning : public ::testing::TestWithParam<SpecWarning> {};

const std::string relative_warning =
    " does not start at a drive (C:\\) or a folder token ({CACHE_DIR}, {PROGRAM_DIR}), so the "
    "launcher unpacks below whatever folder it is started from";

TEST_P(TargetSpecWarning, IsPrintedAsItsField) {
    std::vector<std::string> options = own_identity;
    options.insert(options.end(), {"--target-spec", GetParam().spec});
    auto result = identity_with(options);
    ASSERT_EQ(result.exit_code, 0) << result.err;
    EXPECT_EQ(field(result.out, "target-spec-warning"), GetParam().warning);
}

INSTANTIATE_TEST_SUITE_P(
    Identity, TargetSpecWarning,
    ::testing::Values(
        SpecWarning{"relative", "relq\\x", "the target spec relq\\x" + relative_warning},
        SpecWarning{"drive_less", "\\Acme\\Ink", "the target spec \\Acme\\Ink" + relative_warning},
        SpecWarning{"drive_relative", "C:Acme", "the target spec C:Acme" + relative_warning},
        SpecWarning{"starts_with_a_constant", "{COMPANY}\\x",
                    "the target spec {COMPANY}\\x" + relative_warning},
        SpecWarning{"percent_variable", "%LOCALAPPDATA%\\Acme\\Ink",
                    "the target spec %LOCALAPPDATA%\\Acme\\Ink" + relative_warning +
                        ", and holds %NAME% text, which the launcher does not expand (write a "
                        "token such as {CACHE_DIR})"},
        SpecWarning{"percent_inside", "C:\\%APPDATA%\\x",
                    "the target spec C:\\%APPDATA%\\x holds %NAME% text, which the launcher does "
                    "not expand (write a token such as {CACHE_DIR})"},
        SpecWarning{"drive", "D:\\Tools\\Ink", ""},
        SpecWarning{"network", "\\\\server\\share\\Ink", ""},
        SpecWarning{"folder_token_any_case", "{cache_dir}\\Acme\\{VERSION}\\{PID}", ""},
        SpecWarning{"program_token", "{PROGRAM_BASE}.d", ""},
        SpecWarning{"one_percent", "{TEMP}\\100%", ""}),
    [](const auto& info) { return std::string(info.param.name); });

// Every field that keeps the example's value is named, whichever others
// are given.
struct ExampleCase {
    const char* name;
    std::vector<std::string> options;
    std::string warning;
};

class ExampleValues : public ::testing::TestWithParam<ExampleCase> {};

TEST_P(ExampleValues, AreWarnedOf) {
    auto result = identity_with(GetParam().options);
    ASSERT_EQ(result.exit_code, 0) << result.err;
    EXPECT_EQ(field(result.out, "warning"), GetParam().warning);
}

INSTANTIATE_TEST_SUITE_P(
    Identity, ExampleValues,
    ::testing::Values(
        ExampleCase{"none_given",
                    {},
                    "this launcher keeps the example identity and unpacks into "
                    "{CACHE_DIR}\\LumbrookCrafts\\Quillowmere\\1.20, the cache folder that every "
                    "such launcher shares; give a company, a product and a version (or a target "
                    "spec) to choose a folder of its own"},
        ExampleCase{"version_left_out",
                    {"--company", "Acme", "--product", "Ink"},
                    "this launcher keeps the example's version 1.20.0.0 in its version "
                    "information and its cache folder {CACHE_DIR}\\Acme\\Ink\\1.20; give your own "
                    "company, product and version"},
        ExampleCase{"product_left_out",
                    {"--company", "Acme", "--version", "2.0.0.0"},
                    "this launcher keeps the example's product \"Quillowmere\" in its version "
                    "information and its cache folder {CACHE_DIR}\\Acme\\Quillowmere\\2.0; give "
                    "your own company, product and version"},
        ExampleCase{"only_a_target_spec",
                    {"--target-spec", "{PROGRAM_DIR}\\cache"},
                    "this launcher keeps the example's company \"Lumbrook Crafts\", product "
                    "\"Quillowmere\", version 1.20.0.0 in its version information; give your own "
                    "company, product and version"},
        ExampleCase{"all_given", own_identity, ""}),
    [](const auto& info) { return std::string(info.param.name); });

// A field too long for its room: one short line, not a cache folder name
// quoted whole with advice that fails on the same limit.
TEST(Identity, AFieldTooLongGetsOneShortLine) {
    for (const char* option : {"--company", "--product"}) {
        auto result = identity_with({option, std::string(300, 'c')});
        EXPECT_EQ(result.exit_code, 1);
        EXPECT_EQ(result.err, std::string("qarvel-pack: error: the ") + (option + 2) +
                                  " is 300 UTF-16 units long; a launcher holds at most 255\n");
    }
}

// The launcher command checks as identity does, before it writes anything,
// and prints the warnings on standard error.
TEST(LauncherCommand, ChecksTheTargetSpecAsIdentityDoes) {
    ScratchFolder scratch;
    write_bytes(scratch / "app/main.exe", windows_program());
    std::vector<std::string> arguments = {"launcher", (scratch / "app").string(),
                                          "--main",   "main.exe",
                                          "-o",       (scratch / "out/ink.exe").string()};
    arguments.insert(arguments.end(), own_identity.begin(), own_identity.end());

    auto refused = arguments;
    refused.insert(refused.end(), {"--target-spec", "{LOCALAPPDATA}\\Acme"});
    auto result = run_pack(refused);
    EXPECT_EQ(result.exit_code, 1);
    EXPECT_EQ(result.err.rfind("qarvel-pack: error: the target spec {LOCALAPPDATA}\\Acme holds "
                               "the unknown token {LOCALAPPDATA}; ",
                               0),
              0u)
        << result.err;
    EXPECT_FALSE(fs::exists(scratch / "out"));

    auto warned = arguments;
    warned.insert(warned.end(), {"--target-spec", "relq\\x", "-q"});
    result = run_pack(warned);
    EXPECT_EQ(result.exit_code, 0) << result.err;
    EXPECT_EQ(result.err,
              "qarvel-pack: warning: the target spec relq\\x" + relative_warning + "\n");
    EXPECT_TRUE(fs::exists(scratch / "out/ink.exe"));
}

} // namespace
