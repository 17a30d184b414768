// Launchers around the echo child, started as a user would start them: what
// the child receives (command line, directory, handles, environment) and
// how the launcher ends (the child's exit code, or its own failures).
#include "support/launcher_run.h"

#include <cstdio>
#include <gtest/gtest.h>
#include <map>
#include <vector>

namespace fs = std::filesystem;
using namespace qarvel_test;

namespace {

using Report = std::multimap<std::string, std::string>;

std::vector<std::string> values(const Report& report, const std::string& key) {
    std::vector<std::string> found;
    auto [first, last] = report.equal_range(key);
    for (auto it = first; it != last; ++it)
        found.push_back(it->second);
    return found;
}

// NAME=VALUE lines of the child's environment, names compared as Windows does.
struct CaseInsensitiveLess {
    bool operator()(const std::string& a, const std::string& b) const {
        return _stricmp(a.c_str(), b.c_str()) < 0;
    }
};
using Environment = std::map<std::string, std::string, CaseInsensitiveLess>;

Environment child_environment(const Report& report) {
    Environment environment;
    for (const std::string& entry : values(report, "env")) {
        size_t equals = entry.find('=', 1);
        environment[entry.substr(0, equals)] = entry.substr(equals + 1);
    }
    return environment;
}

std::string utf8(const fs::path& path) {
    return to_utf8(path.wstring());
}

TEST(ChildCommandLine, CarriesEveryArgumentRequotedBehindTheLaunchersName) {
    const std::wstring typed = LR"(plain "two words" "" a\"b x\\\"y "sp ace\\" C:\dir\ "tab)"
                               L"\t"
                               LR"(in" Grüße 日本😀 "")";
    Launch launch = launch_fresh("child_echo", typed);
    ASSERT_EQ(launch.result.exit_code, 0u) << launch.result.err;
    Report report = parse_report(launch.result.out);

    const std::string name = utf8(launch.launcher);
    EXPECT_EQ(report_value(report, "command_line"),
              name +
                  R"( plain "two words" "" "a\"b" "x\\\"y" "sp ace\\" C:\dir\ "tab)"
                  "\t" +
                  R"(in" Grüße 日本😀 "")");
    const std::vector<std::string> expected = {name,      "plain",  "two words", "",
                                               "a\"b",    "x\\\"y", "sp ace\\",  "C:\\dir\\",
                                               "tab\tin", "Grüße",  "日本😀",     ""};
    EXPECT_EQ(values(report, "arg"), expected);
}

TEST(ChildCommandLine, WithoutArgumentsIsTheLaunchersNameAlone) {
    Launch launch = launch_fresh("child_echo");
    Report report = parse_report(launch.result.out);
    EXPECT_EQ(report_value(report, "command_line"), utf8(launch.launcher));
    EXPECT_EQ(report_value(report, "argc"), "1");
}

// The launcher typed as a relative name without its extension, in a folder
// whose name holds spaces: the child still gets the full name, quoted.
TEST(ChildCommandLine, NamesTheLauncherInFullWhateverNameItWasStartedBy) {
    fs::path directory = fresh_directory("folder with spaces");
    fs::path launcher = place_launcher("child_echo", directory);
    ProcessResult result =
        run_process(launcher.wstring(), L"child_echo one", {directory.wstring(), {}, "", 120000});
    ASSERT_EQ(result.exit_code, 0u) << result.err;
    Report report = parse_report(result.out);
    Environment environment = child_environment(report);

    EXPECT_EQ(report_value(report, "command_line"), "\"" + utf8(launcher) + "\" one");
    EXPECT_EQ(values(report, "arg"), (std::vector<std::string>{utf8(launcher), "one"}));
    EXPECT_EQ(environment["QARVEL_ORIGINAL_ARGV0"], "child_echo");
    EXPECT_EQ(environment["QARVEL_ONEFILE_DIRECTORY"], utf8(directory));
}

TEST(ChildStart, SharesTheLaunchersCurrentDirectoryAndStandardHandles) {
    fs::path elsewhere = fresh_directory("elsewhere");
    RunOptions options;
    options.directory = elsewhere.wstring();
    options.environment = {{L"ECHO_CHILD_READ_INPUT", L"1"}};
    options.input = "typed into the launcher: \xc3\xbc";
    Launch launch = launch_fresh("child_echo", L"", options);
    ASSERT_EQ(launch.result.exit_code, 0u);
    Report report = parse_report(launch.result.out);

    EXPECT_EQ(report_value(report, "cwd"), utf8(elsewhere));
    EXPECT_EQ(report_value(report, "input"), options.input);
    EXPECT_EQ(launch.result.err, "echo_child stderr\r\n");
    EXPECT_TRUE(fs::exists(launch.cache / "main.exe")) << "the child ran from elsewhere";
}

Environment this_environment() {
    Environment environment;
    wchar_t* block = GetEnvironmentStringsW();
    for (const wchar_t* entry = block; *entry != 0; entry += wcslen(entry) + 1) {
        std::string text = to_utf8(entry);
        size_t equals = text.find('=', 1);
        environment[text.substr(0, equals)] = text.substr(equals + 1);
    }
    FreeEnvironmentStringsW(block);
    return environment;
}

TEST(ChildStart, InheritsTheLaunchersEnvironmentWithItsOwnVariables) {
    RunOptions options;
    options.environment = {
        {L"QARVEL_ONEFILE_START", L"stale"},
        {L"QARVEL_ONEFILE_TIME_US", L"stale"},
        {L"QARVEL_ONEFILE_RANDOM", L"stale"},
        {L"QARVEL_ONEFILE_PARENT", L"1"},
        {L"QARVEL_ONEFILE_DIRECTORY", L"stale"},
        {L"QARVEL_ORIGINAL_ARGV0", L"stale"},
        // Set only by a launch run as administrator, for its child.
        {L"QARVEL_ONEFILE_CALLER_DIRECTORY", L"stale"},
        {L"QARVEL_TEST_PASSED_ON", L"value with spaces, \u00fc and = sign"},
    };
    Launch launch = launch_fresh("child_echo", L"", options);
    ASSERT_EQ(launch.result.exit_code, 0u);
    Report report = parse_report(launch.result.out);

    Environment expected = this_environment();
    expected["QARVEL_TEST_PASSED_ON"] = "value with spaces, \xc3\xbc and = sign";
    expected.erase("QARVEL_ONEFILE_START");
    expected.erase("QARVEL_ONEFILE_TIME_US");
    expected.erase("QARVEL_ONEFILE_RANDOM");
    expected.erase("QARVEL_ONEFILE_CALLER_DIRECTORY");
    expected["QARVEL_ONEFILE_PARENT"] = report_value(report, "parent_pid");
    expected["QARVEL_ONEFILE_DIRECTORY"] = utf8(launch.directory);
    expected["QARVEL_ORIGINAL_ARGV0"] = utf8(launch.launcher);
    EXPECT_EQ(child_environment(report), expected);
    EXPECT_NE(report_value(report, "parent_pid"), "0");
}

TEST(ChildExit, ItsExitCodeBecomesTheLaunchersInAll32Bits) {
    fs::path launcher = place_launcher("child_echo", fresh_directory("exit-codes"));
    for (DWORD code : {0ul, 1ul, 255ul, 256ul, 0xC0000005ul, 0xFFFFFFFFul}) {
        RunOptions options;
        options.environment = {{L"ECHO_CHILD_EXIT_CODE", std::to_wstring(code)}};
        EXPECT_EQ(run_launcher(launcher, L"", options).exit_code, code);
    }
}

TEST(ChildStart, FailingStartNamesTheWindowsError) {
    // The payload holds only its end marker: there is no main executable.
    Launch launch = launch_fresh("child_nothing_to_launch");
    EXPECT_EQ(launch.result.exit_code, 2u);
    EXPECT_EQ(launch.result.out, "");
    unsigned long code = 0;
    ASSERT_EQ(sscanf(launch.result.err.c_str(), "Error, couldn't launch child ([Error %lu]", &code),
              1)
        << launch.result.err;
    EXPECT_NE(code, 0u);
    EXPECT_EQ(launch.result.err, "Error, couldn't launch child ([Error " + std::to_string(code) +
                                     "] " + system_text(code) + ")\r\n");
}

// Arguments a" typed as a\" (3 units) grow to "a\"" (5 units) in the child's
// command line, so a launcher command line within Wine's limit can ask for a
// child command line of any length; a plain filler argument sets it exactly.
struct LongRun {
    fs::path report;
    ProcessResult result;
};

LongRun run_with_child_text_of(size_t units) {
    fs::path directory = fresh_directory("long");
    fs::path launcher = place_launcher("child_echo", directory);
    // The child's command line for the name alone, as the launcher builds it.
    std::wstring name_alone =
        from_utf8(report_value(parse_report(run_launcher(launcher).out), "command_line"));

    const size_t growing = 5000;
    std::wstring arguments;
    for (size_t i = 0; i < growing; ++i)
        arguments += L"a\\\" ";
    size_t filler = units - name_alone.size() - growing * 6 - 1;
    arguments += std::wstring(filler, L'x');

    LongRun run;
    run.report = directory / "report.txt";
    RunOptions options;
    options.environment = {{L"ECHO_CHILD_REPORT", run.report.wstring()}};
    run.result = run_launcher(launcher, arguments, options);
    return run;
}

TEST(ChildCommandLineLimit, TextJustUnderTheLimitReachesTheChild) {
    // Wine itself cuts command lines above 32,766 units.
    LongRun run = run_with_child_text_of(32766);
    EXPECT_EQ(run.result.exit_code, 0u) << run.result.err;
    Report report = parse_report(read_file(run.report));
    EXPECT_EQ(from_utf8(report_value(report, "command_line")).size(), 32766u);
    EXPECT_EQ(report_value(report, "argc"), "5002");
}

TEST(ChildCommandLineLimit, OneUnitOverTheLimitEndsWithALineWithoutAChild) {
    LongRun run = run_with_child_text_of(32767);
    EXPECT_EQ(run.result.exit_code, 2u);
    EXPECT_EQ(run.result.out, "");
    EXPECT_EQ(run.result.err, "Error, the child's command line would be longer than the 32766 "
                              "characters Windows starts a program with; give fewer or shorter "
                              "arguments.\r\n");
    EXPECT_FALSE(fs::exists(run.report)) << "a child was started";
}

} // namespace
