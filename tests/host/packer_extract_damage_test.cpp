// qarvel-pack extract and list on damaged payloads: a fault names the entry
// where it lies, says "error" once at most, and extract leaves no damaged or
// half-written file under an entry's name.
#include "format/payload_format.h"
#include "support/packer_run.h"

#include <functional>
#include <gtest/gtest.h>
#include <random>

namespace fs = std::filesystem;
using namespace qarvel_test;

namespace {

const Bytes main_content = {'M', 'Z', 0x90, 0};

// Bytes zstd cannot shrink, so it stores them as they are and a flipped
// payload byte lands in the content unseen by the decoder.
Bytes random_bytes(size_t size) {
    std::mt19937 generator(7);
    Bytes bytes(size);
    for (auto& byte : bytes)
        byte = static_cast<unsigned char>(generator());
    return bytes;
}

const Bytes& big_content() {
    static const Bytes bytes = random_bytes(3 << 20);
    return bytes;
}

// app.exe, then data\big.bin (the damaged one), then z.txt.
Bytes entry_stream(size_t big_bytes_kept) {
    Bytes stream;
    append_entry(stream, u"app.exe", main_content, checksum_of(main_content));
    append_entry(stream, u"data\\big.bin", big_content(), checksum_of(big_content()));
    stream.resize(stream.size() - big_content().size() + big_bytes_kept);
    if (big_bytes_kept == big_content().size()) {
        append_entry(stream, u"z.txt", {'z'}, checksum_of({'z'}));
        stream.insert(stream.end(), {0, 0});
    }
    return stream;
}

Bytes with_content_byte_flipped() {
    Bytes payload = payload_around(entry_stream(big_content().size()));
    payload[payload.size() / 2] ^= 0x10;
    return payload;
}

Bytes cut_short() {
    return payload_around(entry_stream(big_content().size() / 2));
}

struct DamageCase {
    const char* name;
    std::function<Bytes()> payload;
    std::string expected;
    bool stale_file_there = false;
};

class DamagedPayload : public ::testing::TestWithParam<DamageCase> {};

size_t count_of(const std::string& text, const std::string& word) {
    size_t count = 0;
    std::string lower = text;
    for (auto& c : lower)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    for (size_t at = lower.find(word); at != std::string::npos; at = lower.find(word, at + 1))
        ++count;
    return count;
}

std::vector<std::string> files_below(const fs::path& folder) {
    std::vector<std::string> names;
    if (fs::exists(folder))
        for (const auto& item : fs::recursive_directory_iterator(folder))
            if (!item.is_directory())
                names.push_back(fs::relative(item.path(), folder).string());
    std::sort(names.begin(), names.end());
    return names;
}

TEST_P(DamagedPayload, ExtractExitsOneAndLeavesNoDamagedFile) {
    const DamageCase& damage = GetParam();
    ScratchFolder scratch;
    write_bytes(scratch / "p", damage.payload());
    if (damage.stale_file_there)
        write_file(scratch / "out/data/big.bin", "an older file");

    auto result = run_pack({"extract", (scratch / "p").string(), "-o", (scratch / "out").string()});
    EXPECT_EQ(result.exit_code, 1);
    EXPECT_NE(result.err.find(damage.expected), std::string::npos) << result.err;
    EXPECT_LE(count_of(result.err, "error"), 1u) << result.err;
    EXPECT_EQ(result.err.find('\n'), result.err.size() - 1) << "one line: " << result.err;
    EXPECT_EQ(result.out, "");
    // The entry before the damage is complete and sound; nothing else stays
    // but the file that was there before.
    EXPECT_EQ(read_bytes(scratch / "out/app.exe"), main_content);
    std::vector<std::string> expected = {"app.exe"};
    if (damage.stale_file_there) {
        expected.push_back("data/big.bin");
        Bytes older = read_bytes(scratch / "out/data/big.bin");
        EXPECT_EQ(std::string(older.begin(), older.end()), "an older file");
    }
    EXPECT_EQ(files_below(scratch / "out"), expected);
}

TEST_P(DamagedPayload, ListNamesTheEntryOfABreak) {
    const DamageCase& damage = GetParam();
    ScratchFolder scratch;
    write_bytes(scratch / "p", damage.payload());
    auto result = run_pack({"list", (scratch / "p").string()});
    if (result.exit_code == 0) {
        // A flipped content byte does not change what list shows.
        EXPECT_EQ(count_of(result.out, "\n"), 3u) << result.out;
        return;
    }
    EXPECT_EQ(result.exit_code, 1);
    EXPECT_NE(result.err.find(damage.expected), std::string::npos) << result.err;
    EXPECT_LE(count_of(result.err, "error"), 1u) << result.err;
}

INSTANTIATE_TEST_SUITE_P(
    Extract, DamagedPayload,
    ::testing::Values(DamageCase{"content_byte_flipped", with_content_byte_flipped,
                                 "entry 2 'data\\big.bin': stored checksum"},
                      DamageCase{"content_byte_flipped_over_an_older_file",
                                 with_content_byte_flipped,
                                 "entry 2 'data\\big.bin': stored checksum", true},
                      DamageCase{"stream_cut_short", cut_short,
                                 "entry 2 'data\\big.bin': Error, couldn't decode attached data."},
                      DamageCase{"stream_cut_short_over_an_older_file", cut_short,
                                 "entry 2 'data\\big.bin': Error, couldn't decode attached data.",
                                 true}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
