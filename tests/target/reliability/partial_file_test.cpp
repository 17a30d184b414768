// New content replaces a file only whole: through a partial file beside it,
// renamed over the file. When the rename cannot be done, the file is written
// over in place; what is in the way of that too ends as the launcher has
// always ended on a file it cannot rewrite. Each case starts from a cache
// whose file differs from the packed one, so that there is something to
// replace.
#include "payload/cache_files.h"
#include "support/launcher_run.h"

#include <gtest/gtest.h>

namespace fs = std::filesystem;
using namespace qarvel_test;

namespace {

const char notes[] = "notes, as packed";

// Keeps a file open, in this process, with the given sharing.
class HeldOpen {
  public:
    HeldOpen(const fs::path& path, DWORD access, DWORD share)
        : handle_(CreateFileW(path.c_str(), access, share, nullptr, OPEN_ALWAYS, 0, nullptr)) {
        EXPECT_NE(handle_, INVALID_HANDLE_VALUE) << "cannot open " << path;
    }
    ~HeldOpen() { CloseHandle(handle_); }
    HeldOpen(const HeldOpen&) = delete;
    HeldOpen& operator=(const HeldOpen&) = delete;

  private:
    HANDLE handle_;
};

// Files below the cache that no payload entry names.
std::vector<std::string> strays(const fs::path& cache) {
    std::vector<std::string> found;
    for (const auto& [name, content] : files_below(cache))
        if (name != "main.exe" && name != "data/notes.txt")
            found.push_back(name);
    return found;
}

std::string open_for_writing_message(const fs::path& path) {
    return "Error, failed to open '" + to_utf8(path.wstring()) + "' for writing.\r\n";
}

struct Sharing {
    const char* name;
    DWORD share;
};

class FileInUse : public ::testing::TestWithParam<Sharing> {};

// A reader without delete sharing keeps the file from being replaced; the
// content on disk is not the packed one, so the launch ends.
TEST_P(FileInUse, NeedingRewriteEndsWithTheOpenForWritingMessage) {
    Launch launch = launch_fresh("reliability_small");
    ASSERT_EQ(launch.result.exit_code, 0u) << launch.result.err;
    fs::path path = launch.cache / "data" / "notes.txt";
    write_file(path, "changed on disk\n");
    {
        HeldOpen reader(path, GENERIC_READ, GetParam().share);
        ProcessResult result = run_launcher(launch.launcher);
        EXPECT_EQ(result.exit_code, 2u);
        EXPECT_EQ(result.out, "");
        EXPECT_EQ(result.err, open_for_writing_message(path));
    }
    EXPECT_EQ(read_file(path), "changed on disk\n");
    EXPECT_EQ(strays(launch.cache), std::vector<std::string>{});
}

INSTANTIATE_TEST_SUITE_P(
    Readers, FileInUse,
    ::testing::Values(Sharing{"ShareNothing", 0}, Sharing{"ShareRead", FILE_SHARE_READ},
                      Sharing{"ShareReadWrite", FILE_SHARE_READ | FILE_SHARE_WRITE}),
    [](const ::testing::TestParamInfo<Sharing>& sharing) {
        return std::string(sharing.param.name);
    });

// A reader of an up-to-date file is no obstacle: nothing is written.
TEST(FileInUse, UpToDateIsLeftAlone) {
    Launch launch = launch_fresh("reliability_small");
    ASSERT_EQ(launch.result.exit_code, 0u) << launch.result.err;
    HeldOpen reader(launch.cache / "data" / "notes.txt", GENERIC_READ, FILE_SHARE_READ);
    ProcessResult result = run_launcher(launch.launcher, L"again");
    EXPECT_EQ(result.exit_code, 0u) << result.err;
    EXPECT_EQ(report_value(parse_report(result.out), "argc"), "2");
}

// A killed launch leaves a partial file under the name it wrote to; the
// next launch that writes the entry leaves none beside it, whichever name
// it was, earlier launchers' names with a process id among them.
class LeftByAKilledLaunch : public ::testing::TestWithParam<const char*> {};

TEST_P(LeftByAKilledLaunch, IsGoneOnceTheEntryIsWritten) {
    fs::path directory = fresh_directory("reliability_small");
    fs::path launcher = place_launcher("reliability_small", directory);
    fs::path cache = directory / "cache";
    write_file(cache / "data" / "notes.txt", "notes, as pa");
    write_file(cache / "data" / GetParam(), "notes, as");
    ProcessResult result = run_launcher(launcher);
    EXPECT_EQ(result.exit_code, 0u) << result.err;
    EXPECT_EQ(read_file(cache / "data" / "notes.txt"), notes);
    EXPECT_EQ(strays(cache), std::vector<std::string>{});
}

INSTANTIATE_TEST_SUITE_P(PartialFile, LeftByAKilledLaunch,
                         ::testing::Values("notes.txt.qarvel-partial",
                                           "notes.txt.qarvel-partial-4242",
                                           "NOTES.TXT.qarvel-partial-7"),
                         [](const ::testing::TestParamInfo<const char*>& name) {
                             return "Name" + std::to_string(name.index);
                         });

// A file whose name only begins like a partial file's is not one.
TEST(PartialFile, LookAlikeNamesAreLeftAlone) {
    fs::path directory = fresh_directory("reliability_small");
    fs::path launcher = place_launcher("reliability_small", directory);
    fs::path cache = directory / "cache";
    write_file(cache / "data" / "notes.txt", "notes, as pa");
    write_file(cache / "data" / "notes.txt.qarvel-partial-mine", "kept");
    ProcessResult result = run_launcher(launcher);
    EXPECT_EQ(result.exit_code, 0u) << result.err;
    EXPECT_EQ(read_file(cache / "data" / "notes.txt.qarvel-partial-mine"), "kept");
}

// A program that holds the partial file's name keeps it from being
// written: the entry is then written in place.
TEST(PartialFile, HeldByAnotherProgramWritesInPlace) {
    fs::path directory = fresh_directory("reliability_small");
    fs::path launcher = place_launcher("reliability_small", directory);
    fs::path cache = directory / "cache";
    write_file(cache / "data" / "notes.txt", "changed on disk\n");
    fs::path partial = cache / "data" / "notes.txt.qarvel-partial";
    {
        HeldOpen writer(partial, GENERIC_WRITE, FILE_SHARE_READ);
        ProcessResult result = run_launcher(launcher);
        EXPECT_EQ(result.exit_code, 0u) << result.err;
        EXPECT_EQ(read_file(cache / "data" / "notes.txt"), notes);
    }
    fs::remove(partial);
    EXPECT_EQ(strays(cache), std::vector<std::string>{});
}

// Shells, indexers and scanners open files for their attributes alone,
// sharing nothing. That keeps a file from being renamed over, not from
// being written: a stale file held so is replaced all the same.
TEST(PartialFile, StaleFileHeldForItsAttributesIsReplaced) {
    Launch launch = launch_fresh("reliability_small");
    ASSERT_EQ(launch.result.exit_code, 0u) << launch.result.err;
    fs::path path = launch.cache / "data" / "notes.txt";
    write_file(path, "changed on disk\n");
    {
        HeldOpen scanner(path, FILE_READ_ATTRIBUTES, 0);
        ProcessResult result = run_launcher(launch.launcher, L"again");
        EXPECT_EQ(result.exit_code, 0u) << result.err;
        EXPECT_EQ(report_value(parse_report(result.out), "argc"), "2");
    }
    EXPECT_EQ(read_file(path), notes);
    EXPECT_EQ(strays(launch.cache), std::vector<std::string>{});
}

// The replaced file is another file: its identity tells a rename from a
// write in place.
unsigned long long file_index(const fs::path& cache, const std::string& name) {
    return identities_below(cache)[name].index;
}

// The rename names the entry path in the system's own form; a target
// directory behind "\\?\" reaches the same files.
TEST(PartialFile, PutInPlaceBehindTheLongPathPrefix) {
    Launch launch = launch_fresh("reliability_long_path_prefix");
    ASSERT_EQ(launch.result.exit_code, 0u) << launch.result.err;
    write_file(launch.cache / "data" / "notes.txt", "changed on disk\n");
    unsigned long long stale = file_index(launch.cache, "data/notes.txt");
    ProcessResult result = run_launcher(launch.launcher);
    ASSERT_EQ(result.exit_code, 0u) << result.err;
    EXPECT_EQ(read_file(launch.cache / "data" / "notes.txt"), notes);
    EXPECT_NE(file_index(launch.cache, "data/notes.txt"), stale) << "not replaced by a rename";
    EXPECT_EQ(strays(launch.cache), std::vector<std::string>{});
}

// A file name near the file system's limit leaves no room for the partial
// file's suffix: such a file is written over in place.
TEST(PartialFile, NoRoomForItsNameWritesInPlace) {
    Launch launch = launch_fresh("reliability_long_file_name");
    ASSERT_EQ(launch.result.exit_code, 0u) << launch.result.err;
    const std::string name(250, 'a');
    write_file(launch.cache / name, "y");
    unsigned long long stale = file_index(launch.cache, name);
    ProcessResult result = run_launcher(launch.launcher);
    ASSERT_EQ(result.exit_code, 0u) << result.err;
    auto files = files_below(launch.cache);
    EXPECT_EQ(files.size(), 2u);
    EXPECT_EQ(files[name], "x");
    EXPECT_EQ(file_index(launch.cache, name), stale) << "not written in place";
}

} // namespace
