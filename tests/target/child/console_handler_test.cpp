// The console control handler, called as the system would call it, on a
// thread of its own, while this process waits for an echo child it started
// the launcher's way. Close, log-off and shut-down events cannot be raised
// under Wine; calling the handler reaches all five.
#include "child/supervision.h"
#include "support/launcher_run.h"

#include <atomic>
#include <gtest/gtest.h>
#include <thread>

namespace fs = std::filesystem;
using namespace qarvel_test;

namespace {

struct Supervised {
    DWORD exit_code = 0;
    std::string report;
};

// Starts the echo child with launch_child_and_wait on a thread, lets
// during_child run once the child has reported (it sleeps after that), and
// returns the exit code launch_child_and_wait gave.
template <typename DuringChild>
Supervised supervise(const wchar_t* sleep_ms, const wchar_t* exit_code, DuringChild during_child) {
    fs::path report = fresh_directory("handler") / "report.txt";
    SetEnvironmentVariableW(L"ECHO_CHILD_REPORT", report.c_str());
    SetEnvironmentVariableW(L"ECHO_CHILD_SLEEP_MS", sleep_ms);
    SetEnvironmentVariableW(L"ECHO_CHILD_EXIT_CODE", exit_code);

    Supervised supervised;
    std::atomic<bool> returned{false};
    const std::wstring child = echo_child_path().wstring();
    std::thread main_flow([&] {
        supervised.exit_code = launch_child_and_wait(child.c_str(), nullptr);
        returned = true;
    });
    for (int i = 0; i < 600 && !fs::exists(report); ++i)
        Sleep(100);
    // The handle goes into the slot right after the start; give that step
    // time to pass before raising the event.
    Sleep(200);
    during_child(returned);
    main_flow.join();
    supervised.report = read_file(report);
    return supervised;
}

// A launch run as administrator starts its child in the target folder, not
// in its own current folder, whoever wrote there.
TEST(ChildStart, StartsInTheFolderItIsGiven) {
    fs::path target = fresh_directory("child-folder");
    fs::path report = fresh_directory("child-folder-report") / "report.txt";
    SetEnvironmentVariableW(L"ECHO_CHILD_REPORT", report.c_str());
    SetEnvironmentVariableW(L"ECHO_CHILD_SLEEP_MS", nullptr);
    SetEnvironmentVariableW(L"ECHO_CHILD_EXIT_CODE", nullptr);
    const std::wstring child = echo_child_path().wstring();
    EXPECT_EQ(launch_child_and_wait(child.c_str(), target.c_str()), 0u);
    SetEnvironmentVariableW(L"ECHO_CHILD_REPORT", nullptr);
    EXPECT_EQ(report_value(parse_report(read_file(report)), "cwd"), to_utf8(target.wstring()));
}

BOOL raise_event(DWORD event_type) {
    BOOL answer = TRUE;
    std::thread system_thread([&] { answer = console_control_handler(event_type); });
    system_thread.join();
    return answer;
}

bool ran_to_its_end(const std::string& report, const std::string& exit_code) {
    return report.find("\nfinished=" + exit_code + "\n") != std::string::npos;
}

class ConsoleEvent : public ::testing::TestWithParam<DWORD> {};

TEST_P(ConsoleEvent, EndsAChildStillRunningAfterTheGracePeriodWithExitCodeZero) {
    BOOL answer = TRUE;
    ULONGLONG handler_ms = 0;
    Supervised supervised = supervise(L"60000", L"7", [&](std::atomic<bool>& returned) {
        ULONGLONG start = GetTickCount64();
        answer = raise_event(GetParam());
        handler_ms = GetTickCount64() - start;
        // The handler answers only after the child has ended.
        for (int i = 0; i < 100 && !returned; ++i)
            Sleep(100);
        EXPECT_TRUE(returned);
    });
    EXPECT_EQ(answer, FALSE);
    // The grace period is 5000 ms; the bound leaves room for coarse clocks.
    EXPECT_GE(handler_ms, 4500u);
    EXPECT_EQ(supervised.exit_code, 0u);
    EXPECT_FALSE(ran_to_its_end(supervised.report, "7"));
}

INSTANTIATE_TEST_SUITE_P(FiveEvents, ConsoleEvent,
                         ::testing::Values(CTRL_C_EVENT, CTRL_BREAK_EVENT, CTRL_CLOSE_EVENT,
                                           CTRL_LOGOFF_EVENT, CTRL_SHUTDOWN_EVENT));

TEST(ConsoleEvents, AChildThatEndsWithinTheGracePeriodKeepsItsExitCode) {
    BOOL answer = TRUE;
    Supervised supervised = supervise(
        L"1500", L"0xC0000005", [&](std::atomic<bool>&) { answer = raise_event(CTRL_C_EVENT); });
    EXPECT_EQ(answer, FALSE);
    EXPECT_EQ(supervised.exit_code, 0xC0000005u);
    EXPECT_TRUE(ran_to_its_end(supervised.report, "3221225477"));
}

TEST(ConsoleEvents, OtherEventTypesLeaveTheChildAlone) {
    Supervised supervised = supervise(L"3000", L"9", [&](std::atomic<bool>& returned) {
        for (DWORD event_type : {3ul, 4ul, 7ul, 0x8000ul, 0xFFFFFFFFul})
            EXPECT_EQ(raise_event(event_type), FALSE) << event_type;
        EXPECT_FALSE(returned) << "the child was ended";
    });
    EXPECT_EQ(supervised.exit_code, 9u);
    EXPECT_TRUE(ran_to_its_end(supervised.report, "9"));
}

TEST(ConsoleEvents, WithoutARunningChildTheHandlerOnlyAnswers) {
    // Before any start and after the reaping alike, the slot is empty.
    for (DWORD event_type :
         {CTRL_C_EVENT, CTRL_BREAK_EVENT, CTRL_CLOSE_EVENT, CTRL_LOGOFF_EVENT, CTRL_SHUTDOWN_EVENT})
        EXPECT_EQ(raise_event(event_type), FALSE) << event_type;
    Supervised supervised = supervise(L"0", L"0", [](std::atomic<bool>&) {});
    EXPECT_EQ(supervised.exit_code, 0u);
    EXPECT_EQ(raise_event(CTRL_C_EVENT), FALSE);
}

} // namespace
