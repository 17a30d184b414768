// qarvel-pack create refuses folders the launcher could not unpack safely on
// Windows: each check exits non-zero with its message and writes nothing.
#include "support/packer_run.h"
#include "support/windows_program.h"

#include <functional>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace qarvel_test;

namespace {

struct InputCase {
    const char* name;
    std::function<void(const fs::path& app, const fs::path& scratch)> prepare;
    std::string expected;
    std::string main = "main.exe";
    std::vector<std::string> extra = {};
    bool unprivileged = false;
};

void nothing(const fs::path&, const fs::path&) {}

auto file(std::string relative) {
    return [relative](const fs::path& app, const fs::path&) { write_file(app / relative, "x"); };
}

auto files(std::string first, std::string second) {
    return [first, second](const fs::path& app, const fs::path&) {
        write_file(app / first, "1");
        write_file(app / second, "2");
    };
}

auto link(std::string relative, std::string target) {
    return [relative, target](const fs::path& app, const fs::path& scratch) {
        write_file(scratch / "outside.txt", "secret");
        fs::create_directories(scratch / "outside_dir");
        write_file(scratch / "outside_dir/inner.txt", "secret");
        fs::create_directories((app / relative).parent_path());
        fs::create_symlink(target, app / relative);
    };
}

class InputCheck : public ::testing::TestWithParam<InputCase> {};

TEST_P(InputCheck, RefusesWithItsMessageAndWritesNothing) {
    const InputCase& input = GetParam();
    ScratchFolder scratch;
    fs::path app = scratch / "app", out = scratch / "out";
    write_bytes(app / "main.exe", windows_program());
    fs::create_directories(out);
    fs::permissions(out, fs::perms::all);
    input.prepare(app, scratch.path());

    int user = input.unprivileged && geteuid() == 0 ? 65534 : -1;
    std::vector<std::string> arguments = {"create", app.string(), "--main", input.main};
    bool output_given = false;
    for (std::string argument : input.extra) {
        output_given = output_given || argument == "-o";
        if (argument.rfind("@app/", 0) == 0)
            argument = (app / argument.substr(5)).string();
        arguments.push_back(argument);
    }
    if (!output_given) {
        arguments.push_back("-o");
        arguments.push_back((out / "p.bin").string());
    }
    auto result = run_pack(arguments, user);
    EXPECT_NE(result.exit_code, 0);
    EXPECT_NE(result.err.find(input.expected), std::string::npos) << result.err;
    EXPECT_TRUE(fs::is_empty(out)) << "something was written";
    EXPECT_FALSE(fs::exists(app / "p.bin"));
}

const std::string long_folder(220, 'd');

INSTANTIATE_TEST_SUITE_P(
    Packer, InputCheck,
    ::testing::Values(
        InputCase{"main_missing", nothing, "the main executable 'nothere.exe' is not a file",
                  "nothere.exe"},
        InputCase{"main_in_other_case", nothing, "did you mean 'main.exe'", "MAIN.exe"},
        InputCase{"main_is_a_folder", file("tools/x.txt"), "is not a file", "tools"},
        InputCase{"main_absolute", nothing, "relative to the folder", "/bin/sh"},
        InputCase{"main_above_the_folder", nothing, "has a '..' component", "../main.exe"},
        InputCase{"colon", file("dir/x:y.txt"), "holds the character ':'"},
        InputCase{"question_mark", file("sub/why?.txt"), "holds the character '?'"},
        InputCase{"backslash_in_a_linux_name", file("a\\b.txt"), "has a backslash in its name"},
        InputCase{"control_character", file("bell\a.txt"), "holds a control character"},
        InputCase{"trailing_dot", file("notes."), "ends in a dot or a space"},
        InputCase{"trailing_space", file("dir /notes.txt"), "ends in a dot or a space"},
        InputCase{"device_name", file("logs/Nul.txt"),
                  "'Nul.txt': it is a device name, which Windows opens as a device"},
        InputCase{"device_name_with_superscript_one", file("COM\xC2\xB9.txt"),
                  "'COM\xC2\xB9.txt': it is a device name"},
        InputCase{"device_name_with_superscript_two", file("sub/lpt\xC2\xB2"),
                  "which Windows opens as a device"},
        InputCase{"device_name_with_superscript_three", file("Com\xC2\xB3.log"),
                  "which Windows opens as a device"},
        InputCase{"launcher_lock_file_name", file(".Qarvel-Lock"),
                  "'.Qarvel-Lock' is the name of the launcher's lock file"},
        InputCase{"longer_than_1023_units",
                  file(long_folder + "/" + long_folder + "/" + long_folder + "/" + long_folder +
                       "/" + long_folder + "/x"),
                  "UTF-16 units long, more than 1023"},
        InputCase{"not_utf8", file("bad\xFF.txt"), "is not a valid UTF-8 name"},
        InputCase{"names_differ_in_case", files("Readme.txt", "README.TXT"),
                  "differ only in letter case"},
        InputCase{"non_ascii_names_differ_in_case", files("\xC3\x84rger.txt", "\xC3\xA4rger.txt"),
                  "differ only in letter case"},
        InputCase{"file_and_folder_differ_in_case", files("data", "DATA/x.txt"),
                  "'data' is a file, but 'DATA\\x.txt' needs a folder of that name"},
        InputCase{"link_to_a_file_outside", link("passwd", "../outside.txt"),
                  "the symbolic link 'passwd' leads out of the folder"},
        InputCase{"link_to_a_folder_outside", link("sub/ext", "../../outside_dir"),
                  "the symbolic link 'sub/ext' leads out of the folder"},
        InputCase{"dangling_link", link("gone", "nowhere"), "points to nothing that can be read"},
        InputCase{"link_loop", link("sub/loop", ".."), "leads back into a folder above it"},
        InputCase{"pipe",
                  [](const fs::path& app, const fs::path&) {
                      ASSERT_EQ(mkfifo((app / "pipe").c_str(), 0644), 0);
                  },
                  "'pipe' is not a regular file"},
        InputCase{"unreadable_file",
                  [](const fs::path& app, const fs::path&) {
                      write_file(app / "secret.txt", "x");
                      fs::permissions(app / "secret.txt", fs::perms::none);
                  },
                  "cannot read 'secret.txt': Permission denied",
                  "main.exe",
                  {},
                  true},
        InputCase{"output_inside_the_folder",
                  nothing,
                  "lies inside the folder being packed",
                  "main.exe",
                  {"-o", "@app/p.bin"}},
        InputCase{
            "window_above_2_to_27", nothing, "--window-log", "main.exe", {"--window-log", "28"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(InputCheck, LinksInsideTheFolderAreFollowed) {
    ScratchFolder scratch;
    fs::path app = scratch / "app";
    write_bytes(app / "main.exe", windows_program());
    write_file(app / "lib/real.dll", "dll");
    fs::create_symlink("lib/real.dll", app / "alias.dll");
    fs::create_symlink("lib", app / "libs");
    auto pack = run_pack(
        {"create", app.string(), "--main", "main.exe", "-o", (scratch / "p").string(), "-q"});
    ASSERT_EQ(pack.exit_code, 0) << pack.err;
    auto list = run_pack({"list", (scratch / "p").string()});
    EXPECT_NE(list.out.find("alias.dll\n"), std::string::npos) << list.out;
    EXPECT_NE(list.out.find("lib\\real.dll\n"), std::string::npos) << list.out;
    EXPECT_NE(list.out.find("libs\\real.dll\n"), std::string::npos) << list.out;
}

} // namespace

// Which names Windows takes for the same file does not hang on the build
// machine's locale: run where no locale data can be found at all (the
// system's folder of it hidden by an empty one), the check still folds
// letters beyond ASCII as Windows does, one unit for one.
struct CasePair {
    const char* name;
    std::string first, second;
    bool clash;
};

class CaseRules : public ::testing::TestWithParam<CasePair> {};

TEST_P(CaseRules, HoldWithoutLocaleData) {
    const CasePair& pair = GetParam();
    ScratchFolder scratch;
    fs::path app = scratch / "app";
    write_bytes(app / "main.exe", windows_program());
    write_file(app / pair.first, "1");
    write_file(app / pair.second, "2");
    fs::create_directories(scratch / "no-locales");
    if (run("unshare", {"--mount", "true"}).exit_code != 0)
        GTEST_SKIP() << "hiding the locale data needs a mount namespace of our own";
    auto result =
        run("unshare",
            {"--mount", "sh", "-c", "mount --bind \"$0\" /usr/lib/locale && exec \"$@\"",
             (scratch / "no-locales").string(), "env", "LC_ALL=C.UTF-8", QARVEL_PACK_PROGRAM,
             "create", app.string(), "--main", "main.exe", "-o", (scratch / "p").string(), "-q"});
    if (pair.clash) {
        EXPECT_EQ(result.exit_code, 1);
        EXPECT_NE(result.err.find("differ only in letter case"), std::string::npos) << result.err;
    } else {
        EXPECT_EQ(result.exit_code, 0) << result.err;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Packer, CaseRules,
    ::testing::Values(CasePair{"latin", "\xC3\x84rger.txt", "\xC3\xA4rger.txt", true},
                      CasePair{"greek", "\xCE\xA3.txt", "\xCF\x83.txt", true},
                      CasePair{"cyrillic", "\xD0\x96.txt", "\xD0\xB6.txt", true},
                      CasePair{"digraph", "\xC7\x84.txt", "\xC7\x86.txt", true},
                      CasePair{"title_case_digraph_is_its_own", "\xC7\x85.txt", "\xC7\x86.txt",
                               false},
                      CasePair{"sharp_s_is_not_ss", "\xC3\x9F.txt", "SS.txt", false},
                      CasePair{"dotless_i_is_not_i", "\xC4\xB1.txt", "i.txt", false},
                      CasePair{"final_sigma_is_not_sigma", "\xCF\x82.txt", "\xCF\x83.txt", false},
                      CasePair{"outside_the_bmp_keeps_its_case", "\xF0\x90\x90\x80.txt",
                               "\xF0\x90\x90\xA8.txt", false}),
    [](const auto& info) { return std::string(info.param.name); });
