// Unpacking as the cache sees it: a first launch writes every entry, a later
// launch writes only what differs from the payload, and nothing else in the
// cache is touched.
#include "payload/cache_files.h"
#include "support/launcher_run.h"
#include "tests/tools/generated_bytes.h"

#include <gtest/gtest.h>
#include <zlib.h>

namespace fs = std::filesystem;
using namespace qarvel_test;

namespace {

std::string generated(size_t count) {
    auto bytes = generated_bytes::make(count);
    return std::string(bytes.begin(), bytes.end());
}

// The entries of the unpack_tree launcher, as files_below names them.
std::map<std::string, std::string> tree_files() {
    std::string echo = read_file(echo_child_path());
    return {{"main.exe", echo},
            {"top.txt", "top level text"},
            {"docs/guide/intro.txt", "an introduction"},
            {"docs/guide/more/deep.bin", echo},
            {"docs/notes.txt", "notes"},
            {"data/blob.bin", generated(200003)},
            {"data/one_chunk.bin", generated(32768)},
            {"empty.txt", ""},
            {"zero_crc.txt", "checksum zero 165 ym2a"}};
}

std::string child_exe(const ProcessResult& result) {
    return report_value(parse_report(result.out), "exe");
}

TEST(UnpackCache, FirstLaunchWritesEveryEntryByteForByte) {
    Launch launch = launch_fresh("unpack_tree");
    ASSERT_EQ(launch.result.exit_code, 0u) << launch.result.err;
    EXPECT_EQ(files_below(launch.cache), tree_files());
    EXPECT_EQ(child_exe(launch.result), to_utf8((launch.cache / "main.exe").wstring()));
}

TEST(UnpackCache, SecondLaunchOpensNothingForWritingAndCreatesNoFolder) {
    // zero_crc.txt is stored with checksum 1 and must be found up to date
    // like the rest, and so must the empty file.
    const std::string zero_crc = tree_files()["zero_crc.txt"];
    ASSERT_EQ(crc32(0L, reinterpret_cast<const Bytef*>(zero_crc.data()),
                    static_cast<uInt>(zero_crc.size())),
              0u);

    Launch launch = launch_fresh("unpack_tree");
    ASSERT_EQ(launch.result.exit_code, 0u) << launch.result.err;
    age_files_below(launch.cache);
    auto files_before = identities_below(launch.cache);
    auto folders_before = folders_below(launch.cache);
    ProcessResult second;
    {
        // Any open of these for writing would meet a sharing violation.
        HeldFiles held(launch.cache, FILE_SHARE_READ);
        second = run_launcher(launch.launcher);
    }
    ASSERT_EQ(second.exit_code, 0u) << second.err;
    EXPECT_EQ(second.err, "echo_child stderr\r\n"); // and nothing from the launcher
    EXPECT_EQ(identities_below(launch.cache), files_before);
    EXPECT_EQ(folders_below(launch.cache), folders_before);
    EXPECT_EQ(files_below(launch.cache), tree_files());
    EXPECT_EQ(child_exe(second), child_exe(launch.result));
}

// An empty file cannot be mapped for its checksum; being empty is enough.
// A running application that holds it open without sharing it for writing
// must not keep a later launch from starting.
TEST(UnpackCache, EmptyFileHeldOpenIsLeftUntouched) {
    Launch launch = launch_fresh("unpack_tree");
    ASSERT_EQ(launch.result.exit_code, 0u) << launch.result.err;
    age_files_below(launch.cache);
    auto before = identities_below(launch.cache);
    ProcessResult second;
    {
        HeldFiles held(launch.cache / "empty.txt", FILE_SHARE_READ);
        second = run_launcher(launch.launcher);
    }
    ASSERT_EQ(second.exit_code, 0u) << second.err;
    EXPECT_EQ(identities_below(launch.cache), before);
    EXPECT_EQ(read_file(launch.cache / "empty.txt"), "");
}

TEST(UnpackCache, RestoresChangedAndDeletedFilesAndLeavesOthersAlone) {
    Launch launch = launch_fresh("unpack_tree");
    ASSERT_EQ(launch.result.exit_code, 0u) << launch.result.err;
    write_file(launch.cache / "top.txt", "TOP LEVEL TEXT");      // same size
    write_file(launch.cache / "docs/notes.txt", "longer notes"); // other size
    write_file(launch.cache / "empty.txt", "no longer empty");
    fs::resize_file(launch.cache / "data/blob.bin", 100000);
    fs::remove_all(launch.cache / "docs/guide");
    write_file(launch.cache / "stranger.txt", "not in the payload");
    write_file(launch.cache / "docs/stranger.txt", "nor this");
    age_files_below(launch.cache);
    auto untouched = identities_below(launch.cache);

    ProcessResult second = run_launcher(launch.launcher);
    ASSERT_EQ(second.exit_code, 0u) << second.err;
    auto expected = tree_files();
    expected["stranger.txt"] = "not in the payload";
    expected["docs/stranger.txt"] = "nor this";
    EXPECT_EQ(files_below(launch.cache), expected);
    // The first entry is the child even though it was up to date.
    EXPECT_EQ(child_exe(second), child_exe(launch.result));

    auto after = identities_below(launch.cache);
    for (const char* rewritten : {"top.txt", "docs/notes.txt", "empty.txt", "data/blob.bin"}) {
        EXPECT_NE(after[rewritten].last_write, untouched[rewritten].last_write) << rewritten;
        untouched.erase(rewritten);
    }
    for (const auto& [name, identity] : untouched)
        EXPECT_EQ(after[name], identity) << name << " was rewritten";
}

TEST(UnpackCache, EmptyEntryStoredWithChecksumZeroIsNeverCreated) {
    // A missing file's checksum is 0 too, so such an entry always looks up
    // to date; the packer stores 1 for a CRC-32 of 0 for this reason.
    Launch launch = launch_fresh("unpack_empty_stored_as_zero");
    ASSERT_EQ(launch.result.exit_code, 0u) << launch.result.err;
    EXPECT_TRUE(fs::exists(launch.cache / "main.exe"));
    EXPECT_FALSE(fs::exists(launch.cache / "empty.txt"));
}

TEST(UnpackFolder, PackedFolderOfThirtyMegabytesIsUnpackedAndThenKept) {
    Launch launch = launch_fresh("unpack_big_app");
    ASSERT_EQ(launch.result.exit_code, 0u) << launch.result.err;
    auto expected = files_below(QARVEL_BIG_APP_FOLDER);
    ASSERT_GT(expected.size(), 300u);
    EXPECT_TRUE(files_below(launch.cache) == expected)
        << "the cache differs from the packed folder";

    age_files_below(launch.cache);
    auto identities = identities_below(launch.cache);
    auto folders = folders_below(launch.cache);
    ProcessResult second = run_launcher(launch.launcher);
    ASSERT_EQ(second.exit_code, 0u) << second.err;
    EXPECT_TRUE(identities_below(launch.cache) == identities) << "a launch rewrote the cache";
    EXPECT_EQ(folders_below(launch.cache), folders);
}

// A file of 4 GiB and more is measured whole: its size and checksum are
// the entry's, and a second launch leaves it alone.
TEST(UnpackLargeFile, FilePastFourGibibytesIsUpToDateAtTheSecondLaunch) {
    constexpr uintmax_t size = (uintmax_t{1} << 32) + 3;
    Launch launch = launch_fresh("unpack_past_4_gib");
    // Gigabytes of disk: gone however the test ends.
    struct Remove {
        fs::path directory;
        ~Remove() {
            std::error_code ignored;
            fs::remove_all(directory, ignored);
        }
    } remove{launch.directory};
    ASSERT_EQ(launch.result.exit_code, 0u) << launch.result.err;
    ASSERT_EQ(fs::file_size(launch.cache / "zeros.bin"), size);
    age_files_below(launch.cache);
    auto before = identities_below(launch.cache);
    ProcessResult second = run_launcher(launch.launcher);
    ASSERT_EQ(second.exit_code, 0u) << second.err;
    EXPECT_EQ(second.err, "echo_child stderr\r\n"); // and nothing from the launcher
    EXPECT_EQ(identities_below(launch.cache), before) << "a launch rewrote the cache";
    EXPECT_EQ(fs::file_size(launch.cache / "zeros.bin"), size);
}

TEST(UnpackMemory, PeakWorkingSetDoesNotFollowTheFileSize) {
    RunOptions options;
    options.environment = {{L"ECHO_CHILD_PARENT_MEMORY", L"1"}};
    auto peak = [&](const char* launcher, uintmax_t file_size) {
        Launch launch = launch_fresh(launcher, L"", options);
        EXPECT_EQ(launch.result.exit_code, 0u) << launch.result.err;
        EXPECT_EQ(fs::file_size(launch.cache / "data.bin"), file_size);
        return std::stoull(
            report_value(parse_report(launch.result.out), "parent_peak_working_set"));
    };
    unsigned long long small = peak("unpack_1_mib", 1 << 20);
    unsigned long long large = peak("unpack_40_mib", 40 << 20);
    std::cout << "peak working set: 1 MiB file " << small / 1024 << " KiB, 40 MiB file "
              << large / 1024 << " KiB\n";
    // Holding the 40 MiB file, even once, would add at least 39 MiB.
    EXPECT_LT(large, small + 8 * 1024 * 1024);
}

} // namespace
