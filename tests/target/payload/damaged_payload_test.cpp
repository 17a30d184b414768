// A damaged launcher never runs damaged files: content whose checksum does
// not match what the payload stores for it ends the launch as any other
// damaged stream does, before the child starts, and is not left under the
// entry's name. Files already up to date are not read again.
#include "payload/cache_files.h"
#include "support/launcher_run.h"

#include <algorithm>
#include <gtest/gtest.h>

namespace fs = std::filesystem;
using namespace qarvel_test;

namespace {

const char decode_message[] = "Error, couldn't decode attached data.\r\n";

std::set<std::string> names_below(const fs::path& cache) {
    std::set<std::string> names;
    for (const auto& [name, content] : files_below(cache))
        names.insert(name);
    return names;
}

void expect_decode_failure(const ProcessResult& result) {
    EXPECT_EQ(result.exit_code, 2u);
    EXPECT_EQ(result.out, decode_message) << "the child ran";
    EXPECT_EQ(result.err, "");
}

// data/notes.txt is stored with a checksum that is not its content's.
struct StartingCache {
    const char* name;
    const char* notes_on_disk; // nullptr: no file
};

void PrintTo(const StartingCache& start, std::ostream* out) {
    *out << start.name;
}

class ChecksumMismatch : public ::testing::TestWithParam<StartingCache> {};

TEST_P(ChecksumMismatch, EndsBeforeTheChildAndLeavesNoDamagedFile) {
    fs::path directory = fresh_directory("unpack_checksum_mismatch");
    fs::path launcher = place_launcher("unpack_checksum_mismatch", directory);
    fs::path cache = directory / "cache";
    std::set<std::string> expected = {"main.exe"};
    if (GetParam().notes_on_disk != nullptr) {
        write_file(cache / "data" / "notes.txt", GetParam().notes_on_disk);
        expected.insert("data/notes.txt");
    }
    // And again: the next launch meets the same damage.
    for (int launch = 1; launch <= 2; ++launch) {
        SCOPED_TRACE("launch " + std::to_string(launch));
        expect_decode_failure(run_launcher(launcher));
        EXPECT_EQ(names_below(cache), expected);
        if (GetParam().notes_on_disk != nullptr) {
            EXPECT_EQ(read_file(cache / "data" / "notes.txt"), GetParam().notes_on_disk);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Payloads, ChecksumMismatch,
                         ::testing::Values(StartingCache{"EmptyCache", nullptr},
                                           StartingCache{"StaleFile", "notes, older"},
                                           StartingCache{"EmptyFile", ""}),
                         [](const ::testing::TestParamInfo<StartingCache>& start) {
                             return std::string(start.param.name);
                         });

// The big application folder's launcher with one byte flipped inside the
// stored (uncompressed) content of one of its files, as a bad download or a
// failing disk does; the decoder cannot notice it.
struct DamagedLauncher {
    std::string bytes;
    std::string damaged_file; // relative to the folder, '/' separated
};

DamagedLauncher flip_a_stored_byte() {
    DamagedLauncher damaged;
    damaged.bytes = read_file(launchers_folder() / "unpack_big_app.exe");
    // The largest files first: random content is stored as it is, and
    // found verbatim in the launcher.
    std::vector<std::pair<size_t, std::string>> by_size;
    for (const auto& [name, content] : files_below(QARVEL_BIG_APP_FOLDER))
        by_size.emplace_back(content.size(), name);
    std::sort(by_size.rbegin(), by_size.rend());
    for (const auto& [size, name] : by_size) {
        if (size < 4096)
            break;
        std::string content = read_file(fs::path(QARVEL_BIG_APP_FOLDER) / name);
        size_t at = damaged.bytes.find(content.substr(size / 2, 64));
        if (at != std::string::npos) {
            damaged.bytes[at + 32] = static_cast<char>(damaged.bytes[at + 32] ^ 0x10);
            damaged.damaged_file = name;
            return damaged;
        }
    }
    ADD_FAILURE() << "no file of the folder is stored verbatim in the launcher";
    return damaged;
}

TEST(DamagedLauncher, NeverRunsTheDamagedFile) {
    DamagedLauncher damaged = flip_a_stored_byte();
    ASSERT_FALSE(damaged.damaged_file.empty());
    fs::path directory = fresh_directory("damaged_big_app");
    fs::path launcher = directory / "damaged.exe";
    write_file(launcher, damaged.bytes);
    for (int launch = 1; launch <= 2; ++launch) {
        SCOPED_TRACE("launch " + std::to_string(launch));
        expect_decode_failure(run_launcher(launcher));
        EXPECT_FALSE(fs::exists(directory / "cache" / damaged.damaged_file))
            << damaged.damaged_file << " was left in the cache";
    }
}

TEST(DamagedLauncher, OverAHealthyCacheRunsIt) {
    Launch healthy = launch_fresh("unpack_big_app");
    ASSERT_EQ(healthy.result.exit_code, 0u) << healthy.result.err;
    age_files_below(healthy.cache);
    auto identities = identities_below(healthy.cache);
    write_file(healthy.launcher, flip_a_stored_byte().bytes);
    ProcessResult result = run_launcher(healthy.launcher, L"again");
    EXPECT_EQ(result.exit_code, 0u) << result.out << result.err;
    EXPECT_EQ(report_value(parse_report(result.out), "argc"), "2");
    EXPECT_TRUE(identities_below(healthy.cache) == identities) << "a launch rewrote the cache";
}

} // namespace
