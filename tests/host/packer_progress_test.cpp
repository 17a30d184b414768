// Progress reported while a long pack works, with one compression thread and
// with several: it follows the compressor, not the reading of the files,
// which ends long before the compressor does.
#include "packer/payload/app_folder.h"
#include "packer/payload/payload_writer.h"
#include "support/packer_run.h"

#include <gtest/gtest.h>

namespace fs = std::filesystem;
using namespace qarvel_test;

namespace {

struct Report {
    uint64_t in, total, out;
};

class PackProgress : public ::testing::TestWithParam<int> {};

TEST_P(PackProgress, IsReportedWhileTheOutputGrows) {
    ScratchFolder scratch;
    std::vector<qarvel::AppFile> files;
    for (unsigned index = 0; index < 3; ++index) {
        fs::path path = scratch / ("f" + std::to_string(index) + ".bin");
        write_bytes(path, pattern_bytes(12 << 20, index));
        files.push_back({path, u"f" + std::u16string(1, u'0' + index) + u".bin", 12 << 20});
    }
    qarvel::CompressionOptions options;
    options.level = 3;
    options.threads = GetParam();

    std::vector<Report> reports;
    qarvel::TemporaryFile output(scratch / "p");
    auto result = qarvel::write_payload(files, output, options,
                                        [&](uint64_t in, uint64_t total, uint64_t out) {
                                            reports.push_back({in, total, out});
                                        });

    ASSERT_GE(result.entry_stream_bytes, uint64_t{32} << 20);
    ASSERT_FALSE(reports.empty());
    const Report& last = reports.back();
    EXPECT_EQ(last.in, result.entry_stream_bytes);
    EXPECT_EQ(last.total, result.entry_stream_bytes);
    uint64_t final_out = last.out;

    // Reports in the middle of the output, with the input not yet all
    // compressed: a display shows the work as it goes.
    size_t midway = 0;
    for (size_t i = 1; i < reports.size(); ++i) {
        EXPECT_GE(reports[i].in, reports[i - 1].in);
        EXPECT_GE(reports[i].out, reports[i - 1].out);
        bool out_grew = reports[i].out > reports[i - 1].out;
        if (out_grew && reports[i].out >= final_out / 4 && reports[i].out <= final_out / 4 * 3 &&
            reports[i].in < last.in && reports[i].in > 0)
            ++midway;
    }
    EXPECT_GE(midway, 10u) << reports.size() << " reports, " << final_out << " bytes out";
}

INSTANTIATE_TEST_SUITE_P(Packer, PackProgress, ::testing::Values(1, 4),
                         [](const auto& info) { return std::to_string(info.param) + "_threads"; });

} // namespace
