// qarvel-pack create, read back: by verify, list and extract, by the
// launcher's reader for names and frame parameters, and across thread counts.
#include "format/payload_format.h"
#include "packer/payload/payload_inspection.h"
#include "support/packer_run.h"
#include "support/windows_program.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <zlib.h>
#define ZSTD_STATIC_LINKING_ONLY
#include <zstd.h>

namespace fs = std::filesystem;
using namespace qarvel_test;

namespace {

struct SampleFile {
    const char* path;
    Bytes content;
};

std::vector<SampleFile> sample_files() {
    Bytes program = windows_program();
    program.insert(program.end(), {1, 2, 3});
    return {{"bin/app.exe", program},
            {"données/ß.txt", Bytes{'s', 'z'}},
            {"emoji/😀.txt", Bytes{'!'}},
            {"empty.txt", Bytes{}},
            {"Big/data.bin", pattern_bytes(600000, 1)},
            {"z.txt", Bytes{'z'}}};
}

fs::path make_sample_folder(const fs::path& folder) {
    for (const auto& file : sample_files())
        write_bytes(folder / file.path, file.content);
    return folder;
}

TEST(PackerRoundTrip, VerifyListAndExtractGiveTheFolderBack) {
    ScratchFolder scratch;
    make_sample_folder(scratch / "app");
    auto pack = run_pack({"create", (scratch / "app").string(), "--main", "bin/app.exe", "-o",
                          (scratch / "app.payload").string()});
    ASSERT_EQ(pack.exit_code, 0) << pack.err;
    // Not on a terminal: the summary line and no progress display.
    EXPECT_EQ(pack.err.rfind("qarvel-pack: 6 files, ", 0), 0u) << pack.err;
    EXPECT_EQ(pack.err.find('\r'), std::string::npos) << pack.err;

    auto verify = run_pack({"verify", (scratch / "app.payload").string()});
    EXPECT_EQ(verify.exit_code, 0) << verify.err;
    EXPECT_NE(verify.out.find("sound: 6 entries"), std::string::npos) << verify.out;

    // Main executable first, the rest in UTF-16 order; an empty file stores 1.
    auto list = run_pack({"list", (scratch / "app.payload").string()});
    EXPECT_EQ(list.exit_code, 0) << list.err;
    std::string expected;
    const auto files = sample_files();
    for (int index : {0, 4, 1, 2, 3, 5}) {
        const auto& file = files[index];
        auto crc = static_cast<uint32_t>(
            crc32(0, file.content.data(), static_cast<uInt>(file.content.size())));
        char line[200];
        std::string name = file.path;
        std::replace(name.begin(), name.end(), '/', '\\');
        snprintf(line, sizeof line, "%12zu  %08x  %s\n", file.content.size(), crc == 0 ? 1u : crc,
                 name.c_str());
        expected += line;
    }
    EXPECT_EQ(list.out, expected);

    auto extract =
        run_pack({"extract", (scratch / "app.payload").string(), "-o", (scratch / "out").string()});
    ASSERT_EQ(extract.exit_code, 0) << extract.err;
    for (const auto& file : sample_files())
        EXPECT_EQ(read_bytes(scratch / "out" / file.path), file.content) << file.path;
    EXPECT_NE(extract.out.find("6 files written, 0 up to date"), std::string::npos) << extract.out;

    // A second extraction rewrites only what the launcher would: the changed
    // file, not the empty one, which holds its empty entry.
    write_file(scratch / "out/z.txt", "changed");
    extract =
        run_pack({"extract", (scratch / "app.payload").string(), "-o", (scratch / "out").string()});
    EXPECT_NE(extract.out.find("1 files written, 5 up to date"), std::string::npos) << extract.out;
    EXPECT_EQ(read_bytes(scratch / "out/z.txt"), Bytes{'z'});
}

TEST(PackerRoundTrip, NamesAreUtf16WithBackslashes) {
    ScratchFolder scratch;
    make_sample_folder(scratch / "app");
    auto pack = run_pack({"create", (scratch / "app").string(), "--main", "./bin\\app.exe", "-o",
                          (scratch / "p").string(), "-q"});
    ASSERT_EQ(pack.exit_code, 0) << pack.err;
    EXPECT_EQ(pack.err + pack.out, "") << "--quiet prints nothing";
    Bytes payload = read_bytes(scratch / "p");
    std::vector<std::u16string> names;
    qarvel::list_payload(payload.data(), payload.size(), "p",
                         [&](const qarvel::EntryHeader& entry) { names.push_back(entry.name); });
    EXPECT_EQ(names, (std::vector<std::u16string>{
                         u"bin\\app.exe", u"Big\\data.bin", u"donn\u00e9es\\\u00df.txt",
                         u"emoji\\\xD83D\xDE00.txt", u"empty.txt", u"z.txt"}));
}

TEST(PackerRoundTrip, FrameRecordsItsContentSizeWithinTheLaunchersWindow) {
    ScratchFolder scratch;
    make_sample_folder(scratch / "app");
    for (const char* level : {"1", "19", "22"}) {
        ASSERT_EQ(run_pack({"create", (scratch / "app").string(), "--main", "bin/app.exe", "-o",
                            (scratch / "p").string(), "--level", level, "-q"})
                      .exit_code,
                  0);
        Bytes payload = read_bytes(scratch / "p");
        const qarvel::PayloadSummary summary =
            qarvel::verify_payload(payload.data(), payload.size(), "p");
        ZSTD_frameHeader header{};
        ASSERT_EQ(ZSTD_getFrameHeader(&header, payload.data() + 3, payload.size() - 3), 0u);
        EXPECT_EQ(header.frameContentSize, summary.stream_bytes) << "level " << level;
        EXPECT_LE(header.windowSize, summary.stream_bytes) << "level " << level;
        EXPECT_EQ(header.dictID, 0u);
        EXPECT_EQ(header.checksumFlag, 0u);
        EXPECT_EQ((payload.size() - 8) % 8, 0u);
    }
}

// zstd's multi-threaded frames differ from single-threaded ones, so every
// count must take the same path with the same job layout.
TEST(PackerDeterminism, SameBytesForEveryThreadCount) {
    ScratchFolder scratch;
    write_bytes(scratch / "app/main.exe", windows_program());
    // Above one 32 MiB job, so several jobs run at once.
    write_bytes(scratch / "app/one.bin", pattern_bytes(20 << 20, 2));
    write_bytes(scratch / "app/two.bin", pattern_bytes(20 << 20, 3));
    Bytes first;
    for (const char* threads : {"1", "2", "4"}) {
        fs::path output = scratch / (std::string("p") + threads);
        auto pack = run_pack({"create", (scratch / "app").string(), "--main", "main.exe", "-o",
                              output.string(), "--level", "3", "--threads", threads, "-q"});
        ASSERT_EQ(pack.exit_code, 0) << pack.err;
        Bytes payload = read_bytes(output);
        if (first.empty())
            first = payload;
        EXPECT_TRUE(payload == first) << threads << " threads gave other bytes than 1";
    }
    EXPECT_EQ(run_pack({"verify", (scratch / "p4").string(), "-q"}).exit_code, 0);
}

TEST(PackerDeterminism, SmallFolderAtTheDefaultLevel) {
    ScratchFolder scratch;
    make_sample_folder(scratch / "app");
    std::vector<Bytes> payloads;
    for (const char* threads : {"1", "3"}) {
        fs::path output = scratch / (std::string("p") + threads);
        ASSERT_EQ(run_pack({"create", (scratch / "app").string(), "--main", "bin/app.exe", "-o",
                            output.string(), "--threads", threads, "-q"})
                      .exit_code,
                  0);
        payloads.push_back(read_bytes(output));
    }
    EXPECT_TRUE(payloads[0] == payloads[1]);
}

} // namespace
