// The windowed launcher as a user of a graphical application meets it: no
// console, the child started as the console launcher starts it, and a
// failure shown in a message box that must be closed before it ends.
#include "support/launcher_run.h"
#include "support/message_box.h"

#include <gtest/gtest.h>

namespace fs = std::filesystem;
using namespace qarvel_test;

namespace {

constexpr DWORD abort_status = 3;

class WindowedLauncher : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        // Started as from the desktop, with no console to hand on: the
        // system then creates one for a console launcher, and none for the
        // windowed one.
        FreeConsole();
    }
    void SetUp() override {
        ASSERT_FALSE(display_name().empty())
            << "no X display: windows need one under Wine (scripts/test starts Xvfb)";
    }
};

RunOptions child_options(const fs::path& directory) {
    RunOptions options;
    options.directory = directory.wstring();
    options.environment = {{L"ECHO_CHILD_CONSOLES", L"1"},
                           {L"ECHO_CHILD_EXIT_CODE", L"0xC0DE1234"},
                           {L"ECHO_CHILD_REPORT", (directory / "report.txt").wstring()},
                           {L"WINDOWED_TEST_VALUE", L"Grüße 日本"}};
    return options;
}

// The same child under each kind of launcher: its arguments, folder,
// environment and exit code go through alike; only the console differs.
// The windowed launcher has none to hand on; the console launcher has the
// one the system created for it, which shows that the check can tell the
// two apart. (Wine, unlike Windows, also hands that console to the child.)
struct KindCase {
    const char* label;
    const char* launcher;
    const char* child_console; // nullptr: not checked
    std::string parent_console;
};

void PrintTo(const KindCase& kind, std::ostream* out) {
    *out << kind.label;
}

class LauncherKind : public WindowedLauncher, public ::testing::WithParamInterface<KindCase> {};

TEST_P(LauncherKind, StartsTheChildAndHandsBackItsExitCode) {
    const KindCase& kind = GetParam();
    fs::path directory = fresh_directory(kind.launcher);
    fs::path launcher = place_launcher(kind.launcher, directory);
    fs::path working = directory / "working folder";
    fs::create_directories(working);
    ProcessResult result = run_launcher(launcher, L"one \"two words\"", child_options(working));
    EXPECT_EQ(result.exit_code, 0xC0DE1234u);
    EXPECT_EQ(result.out, "");

    auto report = parse_report(read_file(working / "report.txt"));
    std::vector<std::string> args;
    for (auto [it, last] = report.equal_range("arg"); it != last; ++it)
        args.push_back(it->second);
    EXPECT_EQ(args, (std::vector<std::string>{to_utf8(launcher.wstring()), "one", "two words"}));
    EXPECT_EQ(report_value(report, "cwd"), to_utf8(working.wstring()));
    std::multiset<std::string> environment;
    for (auto [it, last] = report.equal_range("env"); it != last; ++it)
        environment.insert(it->second);
    EXPECT_EQ(environment.count("WINDOWED_TEST_VALUE=Grüße 日本"), 1u);
    EXPECT_EQ(environment.count("QARVEL_ONEFILE_DIRECTORY=" + to_utf8(directory.wstring())), 1u);
    EXPECT_EQ(environment.count("QARVEL_ONEFILE_PARENT=" + std::to_string(result.process_id)), 1u);
    if (kind.child_console != nullptr) {
        EXPECT_EQ(report_value(report, "console"), kind.child_console);
    }
    EXPECT_EQ(report_value(report, "parent_console"), kind.parent_console);
    EXPECT_EQ(report_value(report, "finished"), "3235779124");
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, LauncherKind,
    ::testing::Values(KindCase{"Windowed", "windowed_echo", "no",
                               "error " + std::to_string(ERROR_INVALID_HANDLE)},
                      KindCase{"Console", "console_echo_windowed_child", nullptr, "attached"}),
    [](const ::testing::TestParamInfo<KindCase>& kind) { return std::string(kind.param.label); });

// The child starts as the launcher was started: a shortcut's "Run:
// Minimized" or "start /min" reaches it, for either kind of launcher, and
// a windowed launcher started with no standard handles hands on none.
struct StartCase {
    const char* label;
    const char* launcher;
    int show_window; // -1: not given
    bool standard_handles;
    const char* child_show_window;
    const char* child_std_handles;
};

void PrintTo(const StartCase& start, std::ostream* out) {
    *out << start.label;
}

class ChildStart : public WindowedLauncher, public ::testing::WithParamInterface<StartCase> {};

TEST_P(ChildStart, GetsTheLaunchersShowStateAndNoHandlesItWasNotGiven) {
    const StartCase& start = GetParam();
    fs::path directory = fresh_directory(start.label);
    fs::path launcher = place_launcher(start.launcher, directory);
    RunOptions options = child_options(directory);
    options.show_window = start.show_window;
    options.standard_handles = start.standard_handles;
    ProcessResult result = run_launcher(launcher, L"", options);
    EXPECT_EQ(result.exit_code, 0xC0DE1234u);
    auto report = parse_report(read_file(directory / "report.txt"));
    EXPECT_EQ(report_value(report, "show_window"), start.child_show_window);
    EXPECT_EQ(report_value(report, "std_handles"), start.child_std_handles);
}

INSTANTIATE_TEST_SUITE_P(
    Starts, ChildStart,
    ::testing::Values(StartCase{"WindowedMinimized", "windowed_echo", SW_SHOWMINNOACTIVE, true, "7",
                                "given"},
                      StartCase{"WindowedHidden", "windowed_echo", SW_HIDE, true, "0", "given"},
                      StartCase{"WindowedPlain", "windowed_echo", -1, true, "none", "given"},
                      StartCase{"WindowedWithoutHandles", "windowed_echo", SW_SHOWMINNOACTIVE,
                                false, "7", "none"},
                      StartCase{"ConsoleMinimized", "console_echo_windowed_child",
                                SW_SHOWMINNOACTIVE, true, "7", "given"}),
    [](const ::testing::TestParamInfo<StartCase>& start) {
        return std::string(start.param.label);
    });

// A window station of its own, not visible, as a scheduled task, a service
// or an SSH session has. Made from this process, which then goes back to
// its own.
std::wstring invisible_desktop() {
    static std::wstring name;
    if (!name.empty())
        return name;
    HWINSTA own = GetProcessWindowStation();
    HWINSTA station = CreateWindowStationW(L"qarvel-invisible", 0, WINSTA_ALL_ACCESS, nullptr);
    if (station == nullptr || !SetProcessWindowStation(station))
        return {};
    HDESK desktop = CreateDesktopW(L"default", nullptr, nullptr, 0, GENERIC_ALL, nullptr);
    SetProcessWindowStation(own);
    if (desktop == nullptr)
        return {};
    name = L"qarvel-invisible\\default";
    return name;
}

// Nobody would see a box there: the line goes where a handle is, and the
// launcher ends at once rather than wait for good.
TEST_F(WindowedLauncher, ShowsNoBoxOnAWindowStationNobodySees) {
    fs::path directory = fresh_directory("windowed_bad_header_invisible");
    fs::path launcher = place_launcher("windowed_bad_header", directory);
    RunOptions options;
    options.desktop = invisible_desktop();
    ASSERT_FALSE(options.desktop.empty()) << "no window station of its own: " << GetLastError();
    // A hung launch is ended after this, and the test fails.
    options.timeout_ms = 60000;
    ProcessResult result =
        run_process(launcher.wstring(), L"\"" + launcher.wstring() + L"\"", options);
    EXPECT_FALSE(result.timed_out) << "the launcher waited on a box nobody sees";
    EXPECT_EQ(result.exit_code, 2u);
    EXPECT_EQ(result.out, "Error, couldn't find attached data header.\r\n");
}

// The box of a launch that failed while writing the cache keeps no other
// launch of that cache waiting: the lock is released before the box shows.
TEST_F(WindowedLauncher, AnUnansweredBoxKeepsNoOtherLaunchWaiting) {
    fs::path directory = fresh_directory("windowed_checksum_mismatch");
    fs::path failing = place_launcher("windowed_checksum_mismatch", directory);
    fs::path other = place_launcher("console_writes_notes", directory);
    MessageBoxSeen box;
    ProcessResult meanwhile;
    ProcessResult result = run_process(
        failing.wstring(), L"\"" + failing.wstring() + L"\"", {}, [&](DWORD process_id) {
            box = answer_message_box(process_id, 60000, [&] {
                RunOptions options;
                // A launch that waits is ended after this, and the test fails.
                options.timeout_ms = 60000;
                meanwhile = run_launcher(other, L"meanwhile", options);
            });
        });
    ASSERT_TRUE(box.found) << "no message box; out: " << result.out << " err: " << result.err;
    EXPECT_EQ(to_utf8(box.text), "Error, couldn't decode attached data.");
    EXPECT_EQ(result.exit_code, 2u);
    EXPECT_FALSE(meanwhile.timed_out) << "the other launch waited for the box";
    EXPECT_EQ(meanwhile.exit_code, 0u) << meanwhile.out << meanwhile.err;
    EXPECT_EQ(read_file(directory / "cache" / "data" / "other.txt"), "other notes");
}

struct FailureCase {
    const char* label;
    const char* launcher;
    std::string line; // empty: worked out from the launch
    bool on_standard_output;
    DWORD exit_code;
};

void PrintTo(const FailureCase& failure, std::ostream* out) {
    *out << failure.launcher;
}

class WindowedFailure : public WindowedLauncher,
                        public ::testing::WithParamInterface<FailureCase> {};

// A test program reads the box and presses its button, as a user would;
// the line is also on the redirected stream the console launcher writes it to.
TEST_P(WindowedFailure, ShowsTheLineInAMessageBoxAndEndsOnceItIsClosed) {
    const FailureCase& failure = GetParam();
    fs::path directory = fresh_directory(failure.launcher);
    fs::path launcher = place_launcher(failure.launcher, directory);
    MessageBoxSeen box;
    ProcessResult result =
        run_process(launcher.wstring(), L"\"" + launcher.wstring() + L"\"", {},
                    [&box](DWORD process_id) { box = answer_message_box(process_id); });
    ASSERT_TRUE(box.found) << "no message box; out: " << result.out << " err: " << result.err;
    EXPECT_TRUE(box.owner_running);
    EXPECT_EQ(to_utf8(box.title), "Quillowmere");
    EXPECT_TRUE(box.error_icon);
    EXPECT_EQ(result.exit_code, failure.exit_code);

    std::string line = failure.line;
    if (line.empty()) {
        // The system's text for the error is Wine's own.
        line = result.err.substr(0, result.err.find("\r\n"));
        EXPECT_EQ(line.rfind("Error, couldn't launch child ([Error ", 0), 0u) << line;
    }
    EXPECT_EQ(to_utf8(box.text), line);
    EXPECT_EQ(failure.on_standard_output ? result.out : result.err, line + "\r\n");
    EXPECT_EQ(failure.on_standard_output ? result.err : result.out, "");
}

INSTANTIATE_TEST_SUITE_P(
    Failures, WindowedFailure,
    ::testing::Values(FailureCase{"BadHeader", "windowed_bad_header",
                                  "Error, couldn't find attached data header.", true, 2},
                      FailureCase{"ChildCannotStart", "windowed_nothing_to_launch", "", false, 2},
                      // An abort stays an abort, after the box.
                      FailureCase{"TemplateAborts", "windowed_unknown_token",
                                  "Error, couldn't runtime expand spec '{NOSUCH}\\Тест'.", false,
                                  abort_status}),
    [](const ::testing::TestParamInfo<FailureCase>& failure) {
        return std::string(failure.param.label);
    });

} // namespace
