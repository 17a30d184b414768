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

TEST(TemplateFailure, NamesANonAsciiTemplateWholeAndAborts) {
    Launch launch = launch_fresh("failure_template_non_ascii");
    EXPECT_EQ(launch.result.exit_code, abort_status);
    EXPECT_EQ(launch.result.out, "");
    EXPECT_EQ(launch.result.err,
              "Error, couldn't runtime expand spec '{PROGRAM_DIR}\\Тест\\{НЕТ}\\日本😀'.\r\n");
    EXPECT_FALSE(fs::exists(launch.directory / L"Тест"));
}

} // namespace
