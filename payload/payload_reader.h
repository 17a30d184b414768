#pragma once

#include <cstddef>
#include <cstdint>

// The streaming reader over the payload section of the launcher's own image:
// one decompression context and one 131,072-byte output buffer, opened once,
// read front to back, closed once. Every failure goes through fail_plain,
// which ends the launcher; in host tools and fuzzers it throws.

constexpr size_t payload_output_buffer_bytes = 0x20000;

// Checks the header of the image's payload section and sets up decoding.
void open_payload_reader();

// The same over any payload bytes; the launcher passes its payload section,
// host tools and fuzzers pass what they hold.
void open_payload_reader_over(const unsigned char* payload, uint64_t payload_bytes);

// Delivers exactly count bytes of the entry stream to destination.
void read_payload(void* destination, uint64_t count);

void close_payload_reader();

// How many decode calls the reader has made since it was opened: part of the
// reader's state, so that tests can see that a read it could answer from its
// buffer decoded nothing.
extern uint64_t payload_decode_calls_made;
inline uint64_t payload_decode_calls() {
    return payload_decode_calls_made;
}
