// The identity rules every way of building a launcher asks: the default
// cache folder, the refusals of names Windows cannot create, the version
// and icon checks and the defaults of the version information.
#include "packer/identity/identity.h"

#include "support/packer_run.h"

#include <gtest/gtest.h>

using namespace qarvel;

namespace {

struct FolderCase {
    const char *company, *product, *version, *expected;
};

class DefaultFolder : public ::testing::TestWithParam<FolderCase> {};

TEST_P(DefaultFolder, IsNamedAfterTheIdentity) {
    const FolderCase& c = GetParam();
    EXPECT_EQ(default_target_spec("{CACHE_DIR}", c.company, c.product, parse_version(c.version)),
              c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Identity, DefaultFolder,
    ::testing::Values(
        FolderCase{"Lumbrook Crafts", "Quillowmere", "1.20.0.0",
                   "{CACHE_DIR}\\LumbrookCrafts\\Quillowmere\\1.20"},
        FolderCase{"Acme", "Inkwell", "1.20.1.0", "{CACHE_DIR}\\Acme\\Inkwell\\1.20.1"},
        FolderCase{"Acme", "Inkwell", "2.0.0.7", "{CACHE_DIR}\\Acme\\Inkwell\\2.0.0.7"},
        FolderCase{"Acme", "Inkwell", "3.0.0.0", "{CACHE_DIR}\\Acme\\Inkwell\\3.0"},
        FolderCase{"Acme", "Inkwell", "0.0.0.0", "{CACHE_DIR}\\Acme\\Inkwell\\0.0"},
        FolderCase{"Acme", "Inkwell", "01.020.0.00", "{CACHE_DIR}\\Acme\\Inkwell\\1.20"},
        // Forbidden characters and braces go, then trailing dots and spaces
        // and leading spaces; the product keeps its inner spaces.
        FolderCase{"A<c>m:e\"/\\|?*{}", "  In {kw} ell. . ", "1.2.0.0",
                   "{CACHE_DIR}\\Acme\\In kw ell\\1.2"},
        FolderCase{"\xC3\x89mile & Fils", "Caf\xC3\xA9", "1.0.0.0",
                   "{CACHE_DIR}\\\xC3\x89mile&Fils\\Caf\xC3\xA9\\1.0"},
        // A device name needs its whole stem: these are ordinary names.
        FolderCase{"CONSOLE", "COM10", "1.0.0.0", "{CACHE_DIR}\\CONSOLE\\COM10\\1.0"},
        FolderCase{"LPT0", "Nully", "1.0.0.0", "{CACHE_DIR}\\LPT0\\Nully\\1.0"}));

struct RefusalCase {
    std::string company, product, version, expected;
};

class IdentityRefusal : public ::testing::TestWithParam<RefusalCase> {};

TEST_P(IdentityRefusal, SaysWhyInOneLine) {
    const RefusalCase& c = GetParam();
    Identity identity;
    identity.company = c.company;
    identity.product = c.product;
    identity.version = c.version;
    try {
        complete_identity(identity, "app.exe");
        FAIL() << "accepted; cache folder " << identity.target_spec;
    } catch (const Refusal& error) {
        std::string line = error.what();
        EXPECT_EQ(line, c.expected);
    }
}

const std::string long_product(256, 'p');

INSTANTIATE_TEST_SUITE_P(
    Identity, IdentityRefusal,
    ::testing::Values(
        RefusalCase{"<?>", "P", "",
                    "the company \"<?>\" leaves no name for the cache folder; "
                    "give a target spec"},
        RefusalCase{"A", " . ", "",
                    "the product \" . \" leaves no name for the cache folder; "
                    "give a target spec"},
        RefusalCase{"CON", "P", "",
                    "the company \"CON\" leaves the cache folder name 'CON': it is a device "
                    "name, which Windows opens as a device; give a target spec"},
        // The company loses its spaces first.
        RefusalCase{"N u l", "P", "",
                    "the company \"N u l\" leaves the cache folder name 'Nul': it is a device "
                    "name, which Windows opens as a device; give a target spec"},
        RefusalCase{"A", "aux.txt", "",
                    "the product \"aux.txt\" leaves the cache folder name 'aux.txt': it is a "
                    "device name, which Windows opens as a device; give a target spec"},
        RefusalCase{"A", "Prn .log", "",
                    "the product \"Prn .log\" leaves the cache folder name 'Prn .log': it is a "
                    "device name, which Windows opens as a device; give a target spec"},
        RefusalCase{"A", "lpt9. .", "",
                    "the product \"lpt9. .\" leaves the cache folder name 'lpt9': it is a "
                    "device name, which Windows opens as a device; give a target spec"},
        RefusalCase{"com\xC2\xB9", "P", "",
                    "the company \"com\xC2\xB9\" leaves the cache folder name 'com\xC2\xB9': it "
                    "is a device name, which Windows opens as a device; give a target spec"},
        RefusalCase{"A", "LPT\xC2\xB3.x", "",
                    "the product \"LPT\xC2\xB3.x\" leaves the cache folder name "
                    "'LPT\xC2\xB3.x': it is a device name, which Windows opens as a device; "
                    "give a target spec"},
        RefusalCase{"A", "Bell\a", "", "the product holds a control character"},
        RefusalCase{"Tab\tCo", "P", "", "the company holds a control character"},
        RefusalCase{"A", "bad\xFF", "", "the product is not valid UTF-8"},
        RefusalCase{"A", long_product, "",
                    "the product is 256 UTF-16 units long; a launcher holds at most 255"},
        RefusalCase{"A", "P", "1.2.3", "version 1.2.3: want four numbers, as 1.20.0.0"},
        RefusalCase{"A", "P", "1.2.3.4.5", "version 1.2.3.4.5: want four numbers, as 1.20.0.0"},
        RefusalCase{"A", "P", "1..3.4", "version 1..3.4: want four numbers, as 1.20.0.0"},
        RefusalCase{"A", "P", "1.x.0.0", "version 1.x.0.0: want four numbers, as 1.20.0.0"},
        RefusalCase{"A", "P", "-1.0.0.0", "version -1.0.0.0: want four numbers, as 1.20.0.0"},
        RefusalCase{"A", "P", "1.65536.0.0",
                    "version 1.65536.0.0: each number must be at most 65535"},
        RefusalCase{"A", "P", "1.0.0.000001",
                    "version 1.0.0.000001: each number must be at most 65535"},
        RefusalCase{"A", "P", "1.0.0.99999999999999999999999",
                    "version 1.0.0.99999999999999999999999: each number must be at most 65535"}));

TEST(Identity, CompletesTheExampleIdentityAndTheVersionInformation) {
    Identity identity;
    complete_identity(identity, "tool.setup.exe");
    EXPECT_EQ(identity.company, "Lumbrook Crafts");
    EXPECT_EQ(identity.product, "Quillowmere");
    EXPECT_EQ(identity.version, "1.20.0.0");
    EXPECT_EQ(identity.target_spec, "{CACHE_DIR}\\LumbrookCrafts\\Quillowmere\\1.20");
    EXPECT_EQ(identity.description, "Quillowmere");
    EXPECT_EQ(identity.original_filename, "tool.setup.exe");
    EXPECT_EQ(identity.internal_name, "tool.setup");
    EXPECT_EQ(identity.icon, "");
    EXPECT_EQ(identity.copyright, "");
}

// An elevated launcher's folder follows the same rule below Program Files.
TEST(Identity, AnElevatedLauncherUnpacksBelowProgramFiles) {
    Identity example;
    example.elevated = true;
    complete_identity(example, "tool.exe");
    EXPECT_EQ(example.target_spec, "{PROGRAM_FILES}\\LumbrookCrafts\\Quillowmere\\1.20");

    Identity own;
    own.elevated = true;
    own.company = "Acme Tools";
    own.product = "Inkwell";
    own.version = "2.4.1.0";
    complete_identity(own, "tool.exe");
    EXPECT_EQ(own.target_spec, "{PROGRAM_FILES}\\AcmeTools\\Inkwell\\2.4.1");
    EXPECT_EQ(elevated_folder_warning(own), "");
}

// A launch run as administrator unpacks where an elevated launcher of the
// same identity does: below Program Files for the default folder, in the
// given folder otherwise, which its check then judges.
TEST(Identity, RecordsTheFolderOfALaunchRunAsAdministrator) {
    struct Case {
        bool elevated;
        const char* target_spec;
        const char* elevated_target_spec;
    };
    for (const Case& c : {
             Case{false, "", "{PROGRAM_FILES}\\AcmeTools\\Inkwell\\2.4.1"},
             Case{true, "", "{PROGRAM_FILES}\\AcmeTools\\Inkwell\\2.4.1"},
             Case{false, "{PROGRAM_DIR}\\cache", "{PROGRAM_DIR}\\cache"},
             Case{true, "D:\\Tools\\Inkwell", "D:\\Tools\\Inkwell"},
         }) {
        Identity identity;
        identity.company = "Acme Tools";
        identity.product = "Inkwell";
        identity.version = "2.4.1.0";
        identity.elevated = c.elevated;
        identity.target_spec = c.target_spec;
        complete_identity(identity, "tool.exe");
        EXPECT_EQ(identity.elevated_target_spec, c.elevated_target_spec) << c.target_spec;
    }
}

// A folder whose place depends on the current folder, or that lies on
// another machine, cannot be checked: an elevated launcher refuses it when
// it is made, not on every user's machine.
TEST(Identity, RefusesAnElevatedTargetSpecThatStartsNowhereFixed) {
    for (const char* spec : {"relative\\x", "\\Tools\\x", "\\\\server\\share\\x", "C:relative",
                             "{PRODUCT}\\x", "%ProgramFiles%\\x"}) {
        Identity identity;
        identity.elevated = true;
        identity.target_spec = spec;
        try {
            complete_identity(identity, "tool.exe");
            ADD_FAILURE() << spec << " was accepted";
        } catch (const Refusal& error) {
            EXPECT_EQ(error.what(), std::string("the target spec ") + spec +
                                        " of a launcher that asks for administrator rights must "
                                        "start with a drive (C:\\) or a folder token "
                                        "({PROGRAM_FILES}): a relative, drive-less or network "
                                        "folder cannot be checked");
        }
        Identity unelevated;
        unelevated.target_spec = spec;
        EXPECT_NO_THROW(complete_identity(unelevated, "tool.exe")) << spec;
    }
    for (const char* spec :
         {"C:\\Tools", "\\\\?\\d:\\Tools", "{program_files}\\x", "{PROGRAM_DIR}"}) {
        Identity identity;
        identity.elevated = true;
        identity.target_spec = spec;
        EXPECT_NO_THROW(complete_identity(identity, "tool.exe")) << spec;
    }
}

struct ElevatedSpecCase {
    bool elevated;
    const char* target_spec;
    bool warns;
};

class ElevatedFolderWarning : public ::testing::TestWithParam<ElevatedSpecCase> {};

// A template that starts in a folder of the user's, or in the one the
// launcher is run from, warns; tokens are read in any case.
TEST_P(ElevatedFolderWarning, WarnsOfAUsersFolder) {
    const ElevatedSpecCase& c = GetParam();
    Identity identity;
    identity.elevated = c.elevated;
    identity.target_spec = c.target_spec;
    complete_identity(identity, "tool.exe");
    std::string warning = elevated_folder_warning(identity);
    if (!c.warns) {
        EXPECT_EQ(warning, "");
        return;
    }
    EXPECT_EQ(warning, std::string("this launcher asks for administrator rights, and its target "
                                   "spec ") +
                           c.target_spec +
                           " starts in a folder that programs without administrator rights may "
                           "change: it will refuse to run from it on most machines; leave the "
                           "target spec out for a folder below {PROGRAM_FILES}");
}

INSTANTIATE_TEST_SUITE_P(
    Identity, ElevatedFolderWarning,
    ::testing::Values(ElevatedSpecCase{true, "{CACHE_DIR}\\Acme\\Tool", true},
                      ElevatedSpecCase{true, "{home}\\Acme", true},
                      ElevatedSpecCase{true, "{Temp}\\x", true},
                      ElevatedSpecCase{true, "{PROGRAM}-cache", true},
                      ElevatedSpecCase{true, "{PROGRAM_BASE}.d", true},
                      ElevatedSpecCase{true, "{program_dir}\\cache", true},
                      ElevatedSpecCase{true, "{PROGRAM_FILES}\\Acme\\Tool", false},
                      ElevatedSpecCase{true, "{program_files}\\{CACHE_DIR}", false},
                      ElevatedSpecCase{true, "C:\\Tools\\{TEMP}", false},
                      ElevatedSpecCase{false, "{CACHE_DIR}\\Acme\\Tool", false},
                      ElevatedSpecCase{false, "{PROGRAM_DIR}\\cache", false}));

TEST(Identity, KeepsWhatIsGivenAndChecksNoFolderOfAGivenTargetSpec) {
    Identity identity;
    identity.company = "CON";
    identity.target_spec = "{PROGRAM_DIR}\\cache";
    identity.description = "A tool";
    identity.original_filename = "Inkwell.exe";
    complete_identity(identity, "out.exe");
    EXPECT_EQ(identity.target_spec, "{PROGRAM_DIR}\\cache");
    EXPECT_EQ(identity.description, "A tool");
    EXPECT_EQ(identity.original_filename, "Inkwell.exe");
    EXPECT_EQ(identity.internal_name, "Inkwell");
}

// The icon is read and checked once, when the launcher's resources are
// made; identity makes them too, so it refuses what launcher would.
TEST(Identity, ChecksTheIconFile) {
    qarvel_test::ScratchFolder scratch;
    // One 1x1 image of 4 bytes after the header and its one entry.
    const std::string good = std::string("\0\0\1\0\1\0", 6) +
                             std::string("\1\1\0\0\1\0\x20\0\4\0\0\0\x16\0\0\0", 16) +
                             std::string("\0\0\0\0", 4);
    const std::pair<const char*, std::string> files[] = {
        {"good.ico", good},
        {"png.ico", "\x89PNG\r\n\x1a\n not an icon"},
        {"cursor.ico", std::string("\0\0\2\0\1\0", 6)},
        {"no-images.ico", std::string("\0\0\1\0\0\0", 6)},
        {"short.ico", std::string("\0\0\1\0", 4)},
        {"cut.ico", std::string("\0\0\1\0\1\0", 6)},
        {"outside.ico", good.substr(0, good.size() - 1)},
    };
    for (const auto& [name, bytes] : files)
        qarvel_test::write_file(scratch / name, bytes);
    auto identity_with = [&](const std::string& icon) {
        return qarvel_test::run_pack({"identity", "-o", "a.exe", "--icon", icon});
    };
    auto accepted = identity_with((scratch / "good.ico").string());
    EXPECT_EQ(accepted.exit_code, 0) << accepted.err;
    const std::pair<const char*, const char*> refused[] = {
        {"png.ico", " is not an icon (.ico) file"},
        {"cursor.ico", " is not an icon (.ico) file"},
        {"no-images.ico", " is not an icon (.ico) file"},
        {"short.ico", " is not an icon (.ico) file"},
        {"cut.ico", " is not a sound icon (.ico) file: its list of images is cut short"},
        {"outside.ico", " is not a sound icon (.ico) file: image 1 lies outside the file"},
    };
    for (const auto& [name, why] : refused) {
        std::string path = (scratch / name).string();
        auto result = identity_with(path);
        EXPECT_EQ(result.exit_code, 1) << name;
        EXPECT_EQ(result.err, "qarvel-pack: error: " + path + why + "\n") << name;
    }
    std::string missing = (scratch / "none.ico").string();
    EXPECT_EQ(identity_with(missing).err,
              "qarvel-pack: error: no such icon file: " + missing + "\n");
}

} // namespace

namespace {

using qarvel_test::run;
using qarvel_test::run_pack;

// Every value is taken as it is, even one that reads as an option; an empty
// one is one not given.
TEST(IdentityCommand, PrintsTheCompletedIdentity) {
    auto result =
        run_pack({"identity", "-o", "out/tool.exe", "--company", "--elevated", "--product", "-o",
                  "--version", "2.0.0.7", "--copyright", "", "--description", "--windowed"});
    ASSERT_EQ(result.exit_code, 0) << result.err;
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(result.out, "company: --elevated\n"
                          "product: -o\n"
                          "version: 2.0.0.7\n"
                          "target-spec: {CACHE_DIR}\\--elevated\\-o\\2.0.0.7\n"
                          "elevated-target-spec: {PROGRAM_FILES}\\--elevated\\-o\\2.0.0.7\n"
                          "icon: \n"
                          "copyright: \n"
                          "description: --windowed\n"
                          "original-filename: tool.exe\n"
                          "internal-name: tool\n"
                          "elevated: no\n"
                          "windowed: no\n"
                          "warning: \n"
                          "elevated-warning: \n"
                          "target-spec-warning: \n");
}

TEST(IdentityCommand, WarnsOfTheExampleIdentityOfAnElevatedLauncher) {
    auto example = run_pack({"identity", "-o", "a.exe", "--elevated", "--description", "x"});
    ASSERT_EQ(example.exit_code, 0) << example.err;
    EXPECT_NE(example.out.find("\nelevated: yes\n"), std::string::npos) << example.out;
    EXPECT_NE(example.out.find("\nwarning: this launcher keeps the example identity and unpacks "
                               "into {PROGRAM_FILES}\\LumbrookCrafts\\Quillowmere\\1.20, "),
              std::string::npos)
        << example.out;
}

TEST(IdentityCommand, WarnsOfAnElevatedLaunchersFolderInAUsersFolder) {
    auto warned = run_pack({"identity", "-o", "a.exe", "--company", "A", "--product", "P",
                            "--version", "1.0.0.0", "--elevated", "--target-spec", "{TEMP}\\Acme"});
    ASSERT_EQ(warned.exit_code, 0) << warned.err;
    EXPECT_NE(warned.out.find("\nwarning: \nelevated-warning: this launcher asks for "
                              "administrator rights, and its target spec {TEMP}\\Acme starts "
                              "in a folder "),
              std::string::npos)
        << warned.out;
    auto unelevated = run_pack({"identity", "-o", "a.exe", "--target-spec", "{TEMP}\\Acme"});
    ASSERT_EQ(unelevated.exit_code, 0) << unelevated.err;
    EXPECT_NE(unelevated.out.find("\nelevated-warning: \n"), std::string::npos) << unelevated.out;
}

TEST(IdentityCommand, RefusesWithOneLine) {
    auto result = run_pack({"identity", "-o", "a.exe", "--product", "Com\xC2\xB2.dat"});
    EXPECT_EQ(result.exit_code, 1);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, "qarvel-pack: error: the product \"Com\xC2\xB2.dat\" leaves the cache "
                          "folder name 'Com\xC2\xB2.dat': it is a device name, which Windows "
                          "opens as a device; give a target spec\n");
}

} // namespace
