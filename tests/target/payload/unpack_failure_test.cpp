// How unpacking ends when an entry cannot be written: at the limits of the
// name and path buffers, when a file cannot be opened for writing, and when
// a write fails. Files written before the failure stay.
#include "payload/cache_files.h"
#include "support/launcher_run.h"

#include <functional>
#include <gtest/gtest.h>

namespace fs = std::filesystem;
using namespace qarvel_test;

namespace {

constexpr DWORD abort_status = 3;

std::string repeated(const std::string& text, size_t times) {
    std::string out;
    for (size_t i = 0; i < times; ++i)
        out += text;
    return out;
}

// The names of the unpack_name_* launchers: 1020 units of folders, then the
// file name.
const std::string long_folders = repeated("abcdefghi\\", 102);

std::string open_failure(const fs::path& path) {
    return "Error, failed to open '" + to_utf8(path.wstring()) + "' for writing.\r\n";
}

TEST(UnpackLimits, NameOf1023UnitsIsUnpacked) {
    Launch launch = launch_fresh("unpack_name_1023_units");
    ASSERT_EQ(launch.result.exit_code, 0u) << launch.result.err;
    EXPECT_EQ(read_file(launch.cache / (long_folders + "end")), "long");
}

TEST(UnpackLimits, NameOf1024UnitsAbortsSilentlyAndKeepsEarlierFiles) {
    Launch launch = launch_fresh("unpack_name_1024_units");
    EXPECT_EQ(launch.result.exit_code, abort_status);
    EXPECT_EQ(launch.result.out, "");
    EXPECT_EQ(launch.result.err, "");
    auto files = files_below(launch.cache);
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(files["main.exe"], read_file(echo_child_path()));
}

// Their target directory is C:\ and 3091 units; the names are 1000 and 1001
// units long.
TEST(UnpackLimits, EntryPathOf4095UnitsGoesOnToOpenTheFile) {
    Launch launch = launch_fresh("unpack_path_4095_units");
    std::string path = "C:\\" + std::string(3091, 'a') + "\\" + std::string(1000, 'a');
    ASSERT_EQ(path.size(), 4095u);
    // No file system takes a component that long.
    EXPECT_EQ(launch.result.exit_code, 2u);
    EXPECT_EQ(launch.result.err, "Error, failed to open '" + path + "' for writing.\r\n");
}

TEST(UnpackLimits, EntryPathOf4096UnitsAbortsSilently) {
    Launch launch = launch_fresh("unpack_path_4096_units");
    EXPECT_EQ(launch.result.exit_code, abort_status);
    EXPECT_EQ(launch.result.out, "");
    EXPECT_EQ(launch.result.err, "");
}

// A cache filled by a first launch is spoilt so that one entry needs
// rewriting and cannot be opened for writing; the second launch must end
// naming that entry, before any child starts.
struct OpenCase {
    const char* label;
    const char* entry; // as the launcher spells it below the cache
    std::function<std::unique_ptr<HeldFiles>(const fs::path& cache)> spoil;
};

class OpenForWritingFails : public ::testing::TestWithParam<OpenCase> {};

TEST_P(OpenForWritingFails, NamesTheEntryAndExitsWith2) {
    Launch launch = launch_fresh("unpack_tree");
    ASSERT_EQ(launch.result.exit_code, 0u) << launch.result.err;
    auto held = GetParam().spoil(launch.cache);
    ProcessResult second = run_launcher(launch.launcher);
    EXPECT_EQ(second.exit_code, 2u);
    EXPECT_EQ(second.out, "");
    EXPECT_EQ(second.err, open_failure(launch.cache / GetParam().entry));
}

INSTANTIATE_TEST_SUITE_P(
    Cache, OpenForWritingFails,
    ::testing::Values(OpenCase{"ChangedFileHeldWithoutWriteSharing", "docs\\notes.txt",
                               [](const fs::path& cache) {
                                   write_file(cache / "docs/notes.txt", "changed");
                                   return std::make_unique<HeldFiles>(cache / "docs/notes.txt",
                                                                      FILE_SHARE_READ);
                               }},
                      OpenCase{"FileHeldWithoutAnySharing", "top.txt",
                               [](const fs::path& cache) {
                                   // Not even its checksum can be taken, so it is rewritten.
                                   return std::make_unique<HeldFiles>(cache / "top.txt", 0);
                               }},
                      OpenCase{"FileWhereItsFolderShouldBe", "docs\\guide\\intro.txt",
                               [](const fs::path& cache) {
                                   fs::remove_all(cache / "docs/guide");
                                   write_file(cache / "docs/guide", "a file, not a folder");
                                   return std::unique_ptr<HeldFiles>();
                               }},
                      OpenCase{"FolderWhereTheFileShouldBe", "top.txt",
                               [](const fs::path& cache) {
                                   fs::remove(cache / "top.txt");
                                   fs::create_directory(cache / "top.txt");
                                   return std::unique_ptr<HeldFiles>();
                               }}),
    [](const ::testing::TestParamInfo<OpenCase>& open_case) {
        return std::string(open_case.param.label);
    });

TEST(UnpackWrite, FailedWriteEndsWithTheSystemErrorAndKeepsEarlierFiles) {
    // The build links cache\full.bin and its partial file here to /dev/full.
    fs::path folder = QARVEL_DISK_FULL_FOLDER;
    HANDLE link = CreateFileW((folder / "cache/full.bin").c_str(), GENERIC_READ, FILE_SHARE_READ,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    if (link == INVALID_HANDLE_VALUE)
        GTEST_SKIP() << "no /dev/full on this machine";
    CloseHandle(link);
    fs::remove(folder / "cache/main.exe");
    fs::remove(folder / "unpack_disk_full.exe");
    fs::path launcher = place_launcher("unpack_disk_full", folder);
    ProcessResult result = run_launcher(launcher);
    EXPECT_EQ(result.exit_code, 2u);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, "Error, couldn't unpack file to target path. ([Error 112] " +
                              system_text(ERROR_DISK_FULL) + ")\r\n");
    EXPECT_EQ(read_file(folder / "cache/main.exe"), read_file(echo_child_path()));
}

} // namespace
