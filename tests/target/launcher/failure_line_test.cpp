// Fatal lines that name a path or a template outside ASCII, redirected as a
// log or a CI system reads them: the whole line in UTF-8, on the stream and
// with the ending each failure has always had.
#include "support/launcher_run.h"

#include <gtest/gtest.h>

namespace fs = std::filesystem;
using namespace qarvel_test;

namespace {

constexpr DWORD abort_status = 3;

struct TargetCase {
    const char* label;
    const char* launcher;
    const wchar_t* cache_below_launcher; // the launcher's target spec after {PROGRAM_DIR}
};

void PrintTo(const TargetCase& target, std::ostream* out) {
    *out << target.launcher;
}

class WriteFailureBelowTarget : public ::testing::TestWithParam<TargetCase> {};

// A first launch fills the cache; a file where an entry's folder must go
// then keeps the second from writing that entry, and its line names the
// entry's full path.
TEST_P(WriteFailureBelowTarget, NamesTheEntryPathWholeInUtf8) {
    Launch launch = launch_fresh(GetParam().launcher);
    ASSERT_EQ(launch.result.exit_code, 0u) << launch.result.err;
    fs::path cache = launch.directory / GetParam().cache_below_launcher;
    ASSERT_TRUE(fs::is_directory(cache / "docs" / "guide"));
    fs::remove_all(cache / "docs" / "guide");
    write_file(cache / "docs" / "guide", "a file, not a folder");

    ProcessResult second = run_launcher(launch.launcher);
    EXPECT_EQ(second.exit_code, 2u);
    EXPECT_EQ(second.out, "");
    const std::string entry = to_utf8((cache / "docs\\guide\\intro.txt").wstring());
    EXPECT_EQ(second.err, "Error, failed to open '" + entry + "' for writing.\r\n");
}

INSTANTIATE_TEST_SUITE_P(
    Scripts, WriteFailureBelowTarget,
    ::testing::Values(
        TargetCase{"Cyrillic", "failure_target_cyrillic", L"cache\\Тест\\Проверка"},
        TargetCase{"CjkAndBeyondTheBasicPlane", "failure_target_cjk", L"cache\\日本語\\测试😀"},
        TargetCase{"Accented", "failure_target_accented", L"cache\\Café Grüße\\Ñandú"},
        // The same bytes as ever, the CR LF ending included.
        TargetCase{"Ascii", "failure_target_ascii", L"cache\\plain"}),
    [](const ::testing::TestParamInfo<TargetCase>& target) {
        return std::string(target.param.label);
    });

// A launch whose entry "blocked\\lone-<D800>-half.txt" cannot be written:
// "blocked" is a file.
Launch blocked_lone_surrogate(const std::string& label, const RunOptions& options = {}) {
    Launch launch;
    launch.directory = fresh_directory(label);
    launch.launcher = place_launcher("failure_lone_surrogate", launch.directory);
    launch.cache = launch.directory / "cache";
    fs::create_directories(launch.cache);
    write_file(launch.cache / "blocked", "a file, not a folder");
    launch.result = run_launcher(launch.launcher, L"", options);
    return launch;
}

const std::wstring lone_name = std::wstring(L"\\lone-") + wchar_t(0xD800) + L"-half.txt";

// No encoder can carry the unpaired unit: it becomes U+FFFD, and the rest
// of the line still arrives.
TEST(UnpairedSurrogate, BecomesAReplacementCharacterInARedirectedLine) {
    Launch launch = blocked_lone_surrogate("lone_surrogate_redirected");
    EXPECT_EQ(launch.result.exit_code, 2u);
    EXPECT_EQ(launch.result.err, "Error, failed to open '" +
                                     to_utf8((launch.cache / "blocked").wstring()) +
                                     "\\lone-\xEF\xBF\xBD-half.txt' for writing.\r\n");
}

// A console gets the line through its wide output, unit for unit, the
// unpaired one included.
TEST(UnpairedSurrogate, ReachesAConsoleUnitForUnit) {
    // A console of this test's own, whatever it was started with.
    FreeConsole();
    ASSERT_TRUE(AllocConsole()) << GetLastError();
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE screen =
        CreateConsoleScreenBuffer(GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  &inherit, CONSOLE_TEXTMODE_BUFFER, nullptr);
    ASSERT_NE(screen, INVALID_HANDLE_VALUE) << GetLastError();
    DWORD mode = 0;
    ASSERT_TRUE(GetConsoleMode(screen, &mode));
    RunOptions options;
    options.standard_error = screen;
    Launch launch = blocked_lone_surrogate("lone_surrogate_console", options);
    EXPECT_EQ(launch.result.exit_code, 2u);
    EXPECT_EQ(launch.result.err, "");

    const std::wstring line = L"Error, failed to open '" + (launch.cache / "blocked").wstring() +
                              lone_name + L"' for writing.";
    // Rows wrap, and the characters read back follow each other across them.
    std::wstring shown(line.size() + 1, L'?');
    DWORD read = 0;
    ASSERT_TRUE(ReadConsoleOutputCharacterW(screen, shown.data(), static_cast<DWORD>(shown.size()),
                                            COORD{0, 0}, &read));
    shown.resize(read);
    EXPECT_EQ(shown.substr(0, line.size()), line) << to_utf8(shown);
    CloseHandle(screen);
}

TEST(TemplateFailure, NamesANonAsciiTemplateWholeAndAborts) {
    Launch launch = launch_fresh("failure_template_non_ascii");
    EXPECT_EQ(launch.result.exit_code, abort_status);
    EXPECT_EQ(launch.result.out, "");
    EXPECT_EQ(launch.result.err,
              "Error, couldn't runtime expand spec '{PROGRAM_DIR}\\Тест\\{НЕТ}\\日本😀'.\r\n");
    EXPECT_FALSE(fs::exists(launch.directory / L"Тест"));
}

} // namespace
