// The launcher's payload reader, run natively: exact counts in stream order
// across decoded-buffer boundaries, and each failure with its message.
#include "packer/refusal.h"
#include "payload/payload_reader.h"
#include "support/packer_run.h"

#include <gtest/gtest.h>
#include <random>
#include <vector>

namespace {

using namespace qarvel_test;

std::string failure_of(const Bytes& payload, const std::vector<uint64_t>& reads) {
    try {
        open_payload_reader_over(payload.data(), payload.size());
        Bytes sink;
        for (uint64_t count : reads) {
            sink.resize(count);
            read_payload(sink.data(), count);
        }
        close_payload_reader();
    } catch (const qarvel::Refusal& error) {
        close_payload_reader();
        return error.what();
    }
    return "";
}

struct ReaderCase {
    const char* name;
    std::vector<uint64_t> reads;
};

class ReadSequence : public ::testing::TestWithParam<ReaderCase> {};

TEST_P(ReadSequence, DeliversTheStreamInOrder) {
    const Bytes stream = pattern_bytes(3 * payload_output_buffer_bytes + 12345, 7);
    const Bytes payload = payload_around(stream);
    open_payload_reader_over(payload.data(), payload.size());
    Bytes got;
    for (uint64_t count : GetParam().reads) {
        Bytes piece(count + 1, 0xEE);
        read_payload(piece.data(), count);
        EXPECT_EQ(piece[count], 0xEE) << "wrote past the requested count";
        got.insert(got.end(), piece.begin(), piece.begin() + count);
    }
    close_payload_reader();
    ASSERT_LE(got.size(), stream.size());
    EXPECT_TRUE(std::equal(got.begin(), got.end(), stream.begin()));
}

constexpr uint64_t B = payload_output_buffer_bytes;

INSTANTIATE_TEST_SUITE_P(
    Reader, ReadSequence,
    ::testing::Values(ReaderCase{"two_units_straddling_a_buffer_end", {B - 1, 2, 2}},
                      ReaderCase{"longer_than_one_buffer", {B * 2 + 17}},
                      ReaderCase{"exactly_one_buffer_then_more", {B, B, 1}},
                      ReaderCase{"zero_counts_between_reads", {0, 5, 0, B, 0, 3}},
                      ReaderCase{"whole_stream_in_one_read", {3 * B + 12345}},
                      ReaderCase{"entry_sized_pieces", {2, 2, 2, 8, 4, 32768, 32768, 1000}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Reader, CountOfZeroMakesNoDecodeCall) {
    const Bytes payload = payload_around(pattern_bytes(100, 1));
    open_payload_reader_over(payload.data(), payload.size());
    unsigned char byte = 0;
    read_payload(&byte, 0);
    EXPECT_EQ(payload_decode_calls(), 0u);
    read_payload(&byte, 1);
    read_payload(&byte, 0);
    EXPECT_EQ(payload_decode_calls(), 1u);
    close_payload_reader();
}

TEST(Reader, RandomReadSizesMatchTheStream) {
    const Bytes stream = pattern_bytes(700000, 3);
    const Bytes payload = payload_around(stream);
    std::mt19937 generator(11);
    for (int round = 0; round < 20; ++round) {
        open_payload_reader_over(payload.data(), payload.size());
        Bytes got;
        while (got.size() < stream.size()) {
            uint64_t left = stream.size() - got.size();
            uint64_t count = std::min<uint64_t>(left, generator() % 3 == 0 ? generator() % 5
                                                                           : generator() % 200000);
            Bytes piece(count);
            read_payload(piece.data(), count);
            got.insert(got.end(), piece.begin(), piece.end());
        }
        close_payload_reader();
        ASSERT_EQ(got, stream) << "round " << round;
    }
}

TEST(ReaderFailures, HeaderWrongInAnyByte) {
    for (size_t i = 0; i < 3; ++i) {
        Bytes payload = payload_around(pattern_bytes(10, 2));
        payload[i] ^= 0x20;
        EXPECT_EQ(failure_of(payload, {1}), "Error, couldn't find attached data header.")
            << "byte " << i;
    }
    EXPECT_EQ(failure_of(Bytes{'Z', 'O'}, {1}), "Error, couldn't find attached data header.");
}

TEST(ReaderFailures, ReadingPastTheFrame) {
    const Bytes payload = payload_around(pattern_bytes(1000, 4));
    EXPECT_EQ(failure_of(payload, {1000, 1}), "Error, couldn't decode attached data.");
    EXPECT_EQ(failure_of(payload, {5000}), "Error, couldn't decode attached data.");
}

TEST(ReaderFailures, TruncatedFrame) {
    Bytes payload = payload_around(pattern_bytes(400000, 5));
    payload.resize(payload.size() / 2);
    EXPECT_EQ(failure_of(payload, {400000}), "Error, couldn't decode attached data.");
}

TEST(ReaderFailures, WindowAbove2To27) {
    // A hand-made frame: no content size, window descriptor 2^28, one raw block.
    Bytes payload = {'Z',  'O',  'Q',  0x28, 0xB5, 0x2F, 0xFD, 0x00,
                     0x90, 0x21, 0x00, 0x00, 'a',  'b',  'c',  'd'};
    EXPECT_EQ(failure_of(payload, {1}), "Error, couldn't decode attached data.");
    payload[8] = 0x88; // the same frame with a 2^27 window decodes
    EXPECT_EQ(failure_of(payload, {4}), "");
}

TEST(ReaderFailures, FrameNamingADictionary) {
    // Single segment, one-byte dictionary id 7, content size 4, one raw block.
    Bytes payload = {'Z',  'O',  'Q',  0x28, 0xB5, 0x2F, 0xFD, 0x21, 0x07,
                     0x04, 0x21, 0x00, 0x00, 'a',  'b',  'c',  'd'};
    EXPECT_EQ(failure_of(payload, {1}), "Error, couldn't decode attached data.");
}

} // namespace
