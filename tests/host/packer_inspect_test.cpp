// qarvel-pack verify, list and extract on crafted payloads and on payloads
// carried inside an executable's bytes.
#include "format/image_layout.h"
#include "format/payload_format.h"
#include "packer/payload/payload_writer.h"
#include "support/packer_run.h"

#include <algorithm>
#include <functional>
#include <gtest/gtest.h>
#include <zstd.h>

namespace fs = std::filesystem;
using namespace qarvel_test;

namespace {

const Bytes main_content = {'M', 'Z', 0x90, 0};

// The entry stream of a sound payload's first entry.
Bytes main_entry() {
    Bytes stream;
    append_entry(stream, u"app.exe", main_content, checksum_of(main_content));
    return stream;
}

Bytes with_end_marker(Bytes stream) {
    append_end_marker(stream);
    return stream;
}

Bytes sound_payload() {
    return payload_around(with_end_marker(main_entry()));
}

Bytes payload_with(const std::u16string& name, const Bytes& content, uint32_t checksum) {
    Bytes stream = main_entry();
    append_entry(stream, name, content, checksum);
    return payload_around(with_end_marker(stream));
}

struct FaultCase {
    const char* name;
    std::function<Bytes()> payload;
    std::string expected;
};

class VerifyFault : public ::testing::TestWithParam<FaultCase> {};

TEST_P(VerifyFault, ExitsWithTheFirstFault) {
    ScratchFolder scratch;
    write_bytes(scratch / "p", GetParam().payload());
    auto result = run_pack({"verify", (scratch / "p").string()});
    EXPECT_EQ(result.exit_code, 1);
    EXPECT_NE(result.err.find(GetParam().expected), std::string::npos) << result.err;
    EXPECT_EQ(result.out, "");
}

TEST(Verify, SoundPayloadPasses) {
    ScratchFolder scratch;
    write_bytes(scratch / "p", sound_payload());
    auto result = run_pack({"verify", (scratch / "p").string()});
    EXPECT_EQ(result.exit_code, 0) << result.err;
}

Bytes raw_frame_payload(const Bytes& frame_header) {
    Bytes payload = {'Z', 'O', 'Q'};
    payload.insert(payload.end(), frame_header.begin(), frame_header.end());
    // One last raw block holding the end marker alone.
    Bytes block = {0x11, 0x00, 0x00, 0x00, 0x00};
    payload.insert(payload.end(), block.begin(), block.end());
    auto tail = qarvel::payload_tail(payload.size());
    payload.insert(payload.end(), tail.begin(), tail.end());
    return payload;
}

INSTANTIATE_TEST_SUITE_P(
    Payloads, VerifyFault,
    ::testing::Values(
        FaultCase{"wrong_checksum", [] { return payload_with(u"data.txt", {'a'}, 0x12345678); },
                  "entry 2 'data.txt': stored checksum 0x12345678 does not match the content's "
                  "CRC-32 0xe8b7be43"},
        FaultCase{"zero_checksum_for_empty_content",
                  [] { return payload_with(u"empty.txt", {}, 0); },
                  "entry 2 'empty.txt': checksum 0 is stored"},
        FaultCase{"no_entries",
                  [] {
                      return payload_around({0, 0});
                  },
                  "holds no entries"},
        FaultCase{"name_above_the_target", [] { return payload_with(u"..\\evil.exe", {'a'}, 0); },
                  "entry 2 '..\\evil.exe': the name has a '..' component"},
        FaultCase{"name_with_a_drive", [] { return payload_with(u"C:\\evil.exe", {'a'}, 0); },
                  "starts with a drive letter"},
        FaultCase{"name_longer_than_1023_units",
                  [] { return payload_with(std::u16string(1024, u'n'), {'a'}, 0); },
                  "an entry name is longer than 1023 UTF-16 units"},
        FaultCase{"names_differ_in_case",
                  [] {
                      Bytes stream = main_entry();
                      append_entry(stream, u"dir\\a.txt", {'a'}, checksum_of({'a'}));
                      append_entry(stream, u"DIR\\A.txt", {'a'}, checksum_of({'a'}));
                      return payload_around(with_end_marker(stream));
                  },
                  "'dir\\a.txt' and 'DIR\\A.txt' differ only in letter case"},
        FaultCase{"content_after_the_end_marker",
                  [] {
                      Bytes stream = with_end_marker(main_entry());
                      stream.push_back('x');
                      return payload_around(stream);
                  },
                  "more content after the end marker"},
        // Where the frame records no size, the content is counted.
        FaultCase{"content_after_the_end_marker_of_a_frame_of_no_recorded_size",
                  [] {
                      Bytes stream = with_end_marker(main_entry());
                      stream.push_back('x');
                      return payload_around(stream, false);
                  },
                  "more content after the end marker"},
        FaultCase{"no_end_marker", [] { return payload_around(main_entry()); },
                  "after entry 1 'app.exe': Error, couldn't decode attached data."},
        FaultCase{"entry_claims_more_than_the_frame",
                  [] {
                      Bytes stream = main_entry();
                      append_entry(stream, u"data.txt", {'a'}, checksum_of({'a'}));
                      payload_format::put_u64_le(&stream[stream.size() - 13], 100000);
                      return payload_around(with_end_marker(stream));
                  },
                  "entry 2 'data.txt': Error, couldn't decode attached data."},
        FaultCase{"frame_cut_short",
                  [] {
                      Bytes stream = main_entry();
                      append_entry(stream, u"big.bin", pattern_bytes(300000, 4),
                                   checksum_of(pattern_bytes(300000, 4)));
                      Bytes payload = payload_around(with_end_marker(stream));
                      payload.resize(payload.size() / 2);
                      return payload;
                  },
                  "Error, couldn't decode attached data."},
        FaultCase{"window_above_2_to_27",
                  [] {
                      return raw_frame_payload({0x28, 0xB5, 0x2F, 0xFD, 0x00, 0x90});
                  },
                  "window of 268435456 bytes is above the launcher's limit"},
        FaultCase{"frame_names_a_dictionary",
                  [] {
                      return raw_frame_payload({0x28, 0xB5, 0x2F, 0xFD, 0x21, 0x07, 0x02});
                  },
                  "the frame names dictionary 7"},
        FaultCase{"skippable_frame",
                  [] {
                      return raw_frame_payload({0x50, 0x2A, 0x4D, 0x18, 0x00, 0x00, 0x00, 0x00});
                  },
                  "a skippable frame follows the header"},
        FaultCase{"nonzero_byte_before_the_trailer",
                  [] {
                      Bytes payload = sound_payload();
                      payload[payload.size() - 9] = 1;
                      return payload;
                  },
                  "between the frame and the trailer, is not zero"},
        FaultCase{"trailer_not_its_offset",
                  [] {
                      Bytes payload = sound_payload();
                      payload[payload.size() - 8] ^= 0x40;
                      return payload;
                  },
                  "the trailer holds"},
        FaultCase{"trailer_not_aligned",
                  [] {
                      Bytes payload = sound_payload();
                      uint64_t at = payload.size() - 8 + 4;
                      payload.resize(payload.size() - 8);
                      payload.resize(payload.size() + 4, 0);
                      unsigned char trailer[8];
                      payload_format::put_u64_le(trailer, at);
                      payload.insert(payload.end(), trailer, trailer + 8);
                      return payload;
                  },
                  "is not a multiple of 8"},
        FaultCase{"no_trailer",
                  [] {
                      Bytes payload = sound_payload();
                      payload.resize(
                          3 + ZSTD_findFrameCompressedSize(payload.data() + 3, payload.size() - 3));
                      return payload;
                  },
                  "the payload ends without a trailer after the frame"}),
    [](const auto& info) { return std::string(info.param.name); });

// A frame that records no content size ends where its content does.
TEST(Verify, TakesAFrameOfNoRecordedSizeThatEndsAtTheEndMarker) {
    ScratchFolder scratch;
    Bytes stream = main_entry();
    append_entry(stream, u"big.bin", pattern_bytes(300000, 4),
                 checksum_of(pattern_bytes(300000, 4)));
    write_bytes(scratch / "p", payload_around(with_end_marker(stream), false));
    auto result = run_pack({"verify", (scratch / "p").string(), "-q"});
    EXPECT_EQ(result.exit_code, 0) << result.err;
    EXPECT_EQ(result.err, "");
}

// An executable that carries a sound payload among its bytes, aligned, but
// not in a payload section, as no launcher the project makes has it.
Bytes executable_around(const Bytes& payload) {
    Bytes image = {'M', 'Z'};
    Bytes filler = pattern_bytes(5000, 9);
    image.insert(image.end(), filler.begin(), filler.end());
    image.resize((image.size() + 63) / 64 * 64, 0);
    image.insert(image.end(), payload.begin(), payload.end());
    image.push_back(0);
    image.insert(image.end(), filler.begin(), filler.end());
    return image;
}

// Payload headers nested in one another, each beginning a complete frame
// that ends where the next does, then a long run of zero bytes without a
// trailer: a search for a payload by its bytes walks the zeros once for
// every header.
Bytes nested_headers_over_zeros() {
    const unsigned char header[] = {'Z',  'O',  'Q',  0x28, 0xB5,
                                    0x2F, 0xFD, 0x00, 0x38}; // no content size, a 128 KiB window
    const size_t levels = 10000;
    const size_t level_bytes = sizeof header + 3;
    Bytes file = {'M', 'Z'};
    for (size_t level = 0; level < levels; ++level) {
        file.insert(file.end(), std::begin(header), std::end(header));
        // The frame's one block: the last, raw, holding the deeper levels.
        uint32_t block = 1 | uint32_t((levels - 1 - level) * level_bytes) << 3;
        file.insert(file.end(),
                    {static_cast<unsigned char>(block), static_cast<unsigned char>(block >> 8),
                     static_cast<unsigned char>(block >> 16)});
    }
    file.resize(file.size() + (16 << 20), 0);
    return file;
}

TEST(PayloadSection, ListVerifyAndExtractFindItInABuiltLauncher) {
    ScratchFolder scratch;
    Bytes stream = main_entry();
    append_entry(stream, u"data\\notes.txt", {'h', 'i'}, checksum_of({'h', 'i'}));
    Bytes payload = payload_around(with_end_marker(stream));
    write_bytes(scratch / "app.payload", payload);
    auto made = run_pack({"launcher", "--payload", (scratch / "app.payload").string(), "-o",
                          (scratch / "app.exe").string(), "--company", "Acme", "--product", "Tool",
                          "--version", "1.2.0.0", "-q"});
    ASSERT_EQ(made.exit_code, 0) << made.err;

    auto verify = run_pack({"verify", (scratch / "app.exe").string()});
    EXPECT_EQ(verify.exit_code, 0) << verify.err;
    EXPECT_NE(
        verify.out.find("a payload of " + std::to_string(payload.size()) + " bytes at offset"),
        std::string::npos)
        << verify.out;

    auto list = run_pack({"list", (scratch / "app.exe").string()});
    EXPECT_EQ(
        list.out, "           4  " +
                      [] {
                          char hex[9];
                          snprintf(hex, sizeof hex, "%08x", checksum_of(main_content));
                          return std::string(hex);
                      }() +
                      "  app.exe\n           2  " +
                      [] {
                          char hex[9];
                          snprintf(hex, sizeof hex, "%08x", checksum_of({'h', 'i'}));
                          return std::string(hex);
                      }() +
                      "  data\\notes.txt\n");

    auto extract =
        run_pack({"extract", (scratch / "app.exe").string(), "-o", (scratch / "out").string()});
    EXPECT_EQ(extract.exit_code, 0) << extract.err;
    EXPECT_EQ(read_bytes(scratch / "out/app.exe"), main_content);
    EXPECT_EQ(read_bytes(scratch / "out/data/notes.txt"), (Bytes{'h', 'i'}));
}

// A built launcher whose payload section has lost its name: its headers,
// section table and payload bytes are all there, in no payload section.
Bytes launcher_without_payload_section(const ScratchFolder& scratch) {
    write_bytes(scratch / "app.payload", sound_payload());
    auto made = run_pack({"launcher", "--payload", (scratch / "app.payload").string(), "-o",
                          (scratch / "made.exe").string(), "--company", "Acme", "--product", "Tool",
                          "--version", "1.2.0.0", "-q"});
    EXPECT_EQ(made.exit_code, 0) << made.err;
    Bytes launcher = read_bytes(scratch / "made.exe");
    const char* name = image_layout::payload_section_name;
    auto at = std::search(launcher.begin(), launcher.begin() + 4096, name, name + 8);
    EXPECT_NE(at, launcher.begin() + 4096) << "the section table names no payload section";
    if (at != launcher.begin() + 4096)
        *at = '_';
    return launcher;
}

// Only a payload section holds a launcher's payload: payload bytes anywhere
// else in a file are not looked for, however they are laid out, and in a
// launcher's headers no other section is taken for it.
TEST(PayloadSection, NoPayloadIsFoundOutsideOne) {
    ScratchFolder scratch;
    Bytes plain = {'M', 'Z', 'Z', 'O', 'Q'};
    Bytes filler = pattern_bytes(3000, 5);
    plain.insert(plain.end(), filler.begin(), filler.end());
    write_bytes(scratch / "plain.exe", plain);
    write_bytes(scratch / "carried.exe", executable_around(sound_payload()));
    write_bytes(scratch / "nested.exe", nested_headers_over_zeros());
    write_bytes(scratch / "unnamed.exe", launcher_without_payload_section(scratch));
    for (const char* file : {"plain.exe", "carried.exe", "nested.exe", "unnamed.exe"})
        for (const char* command : {"list", "verify", "extract"}) {
            std::vector<std::string> arguments = {command, (scratch / file).string()};
            if (std::string(command) == "extract")
                arguments.insert(arguments.end(), {"-o", (scratch / "out").string()});
            auto result = run_pack(arguments);
            EXPECT_EQ(result.exit_code, 1) << command << " " << file;
            EXPECT_NE(result.err.find(std::string(file) + " holds no payload"), std::string::npos)
                << result.err;
        }
    EXPECT_FALSE(fs::exists(scratch / "out"));
}

TEST(Extract, RefusesNamesThatLeaveTheFolder) {
    ScratchFolder scratch;
    write_bytes(scratch / "p", payload_with(u"..\\evil.txt", {'a'}, checksum_of({'a'})));
    auto result = run_pack({"extract", (scratch / "p").string(), "-o", (scratch / "out").string()});
    EXPECT_EQ(result.exit_code, 1);
    EXPECT_NE(result.err.find("has a '..' component"), std::string::npos) << result.err;
    EXPECT_FALSE(fs::exists(scratch / "evil.txt"));
}

// Names that would drive a terminal: ESC and BEL (C0) and CSI (C1).
const std::u16string hostile_name = u"bin\\\x1b]0;pwned\x07\x9b"
                                    u"31m.txt";
const std::string hostile_shown = "bin\\<U+001B>]0;pwned<U+0007><U+009B>31m.txt";

bool has_control_character(const std::string& text) {
    for (size_t i = 0; i < text.size(); ++i) {
        auto byte = static_cast<unsigned char>(text[i]);
        if ((byte < 0x20 && byte != '\n') || byte == 0x7F)
            return true;
        // U+0080 to U+009F in UTF-8.
        if (byte == 0xC2 && i + 1 < text.size() && static_cast<unsigned char>(text[i + 1]) <= 0x9F)
            return true;
    }
    return false;
}

TEST(EntryNames, ArePrintedWithTheirControlCharactersEscaped) {
    ScratchFolder scratch;
    write_bytes(scratch / "p", payload_with(hostile_name, {'a'}, checksum_of({'a'})));
    const std::string file = (scratch / "p").string();
    struct Printed {
        std::vector<std::string> arguments;
        bool on_standard_output;
    };
    for (const Printed& printed :
         {Printed{{"list", file}, true}, Printed{{"verify", file}, false},
          Printed{{"extract", file, "-o", (scratch / "out").string()}, false}}) {
        auto result = run_pack(printed.arguments);
        const std::string& text = printed.on_standard_output ? result.out : result.err;
        EXPECT_NE(text.find(hostile_shown), std::string::npos)
            << printed.arguments[0] << ": " << text;
        EXPECT_FALSE(has_control_character(result.out + result.err))
            << printed.arguments[0] << ": " << result.out << result.err;
    }
}

} // namespace
