// A payload file that another program cuts short while qarvel-pack reads it
// through its mapping: one line and exit code 1, and no partial output left.
#include "packer/files/mapped_file.h"
#include "packer/files/temporary_file.h"
#include "support/packer_run.h"

#include <gtest/gtest.h>

#include <fstream>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace qarvel_test;

namespace {

size_t partial_files(const fs::path& folder) {
    size_t count = 0;
    for (const auto& entry : fs::directory_iterator(folder))
        count += entry.path().filename().string().find(".partial-") != std::string::npos;
    return count;
}

TEST(MappedFileDeathTest, AFileCutShortWhileReadEndsWithOneLineAndNoPartialOutput) {
    ScratchFolder scratch;
    fs::path payload = scratch / "app.payload";
    write_bytes(payload, pattern_bytes(1 << 20, 3));
    EXPECT_EXIT(
        {
            qarvel::TemporaryFile output(scratch / "app.exe");
            std::ofstream(output.path()) << "half a launcher";
            qarvel::MappedFile mapped(payload);
            if (truncate(payload.c_str(), 4096) != 0)
                _exit(3);
            unsigned sum = 0;
            for (size_t i = 0; i < mapped.size(); i += 4096)
                sum += mapped.data()[i];
            _exit(sum == 12345 ? 4 : 5);
        },
        ::testing::ExitedWithCode(1),
        "^qarvel-pack: error: cannot read .*app\\.payload: another program cut it short while it "
        "was being read\n$");
    EXPECT_EQ(partial_files(scratch.path()), 0u);
}

} // namespace
