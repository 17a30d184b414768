// Golden cases: a crafted payload, and the launcher's exit code and both
// output channels when it meets it.
#include "support/launcher_run.h"

#include <gtest/gtest.h>

namespace fs = std::filesystem;
using namespace qarvel_test;

namespace {

struct GoldenCase {
    const char* launcher;
    DWORD exit_code;
    const char* out;
    const char* err;
    bool writes_nothing;
};

const char header_message[] = "Error, couldn't find attached data header.\r\n";
const char decode_message[] = "Error, couldn't decode attached data.\r\n";

class MustFail : public ::testing::TestWithParam<GoldenCase> {};

TEST_P(MustFail, EndsWithItsMessageOnItsChannel) {
    const GoldenCase& golden = GetParam();
    Launch launch = launch_fresh(golden.launcher);
    EXPECT_EQ(launch.result.exit_code, golden.exit_code);
    EXPECT_EQ(launch.result.out, golden.out);
    EXPECT_EQ(launch.result.err, golden.err);
    if (golden.writes_nothing) {
        EXPECT_FALSE(fs::exists(launch.cache)) << "the launcher wrote below " << launch.cache;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Payloads, MustFail,
    ::testing::Values(GoldenCase{"header_wrong_first_byte", 2, header_message, "", true},
                      GoldenCase{"header_wrong_second_byte", 2, header_message, "", true},
                      GoldenCase{"header_wrong_third_byte", 2, header_message, "", true},
                      GoldenCase{"payload_empty", 2, header_message, "", true},
                      GoldenCase{"frame_truncated_early", 2, decode_message, "", true},
                      GoldenCase{"frame_window_2_to_28", 2, decode_message, "", true},
                      GoldenCase{"frame_names_dictionary", 2, decode_message, "", true},
                      // The entries before the fault are unpacked; only the ending matters here.
                      GoldenCase{"frame_without_end_marker", 2, decode_message, "", false},
                      GoldenCase{"entry_claims_more_than_frame", 2, decode_message, "", false}),
    [](const ::testing::TestParamInfo<GoldenCase>& golden) {
        return std::string(golden.param.launcher);
    });

} // namespace
