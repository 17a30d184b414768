#pragma once

#include <cstdint>

// Values that identify one run: the text behind "{RANDOM}" and the clock
// readings behind "{TIME_US}" and "{TIME}".

constexpr size_t random_text_units = 11;

// Eleven URL-safe Base64 characters and a terminator, from a xorshift32
// generator seeded by the process id, a counter reading and an address.
void make_random_text(uint32_t process_id, uint64_t counter, uint64_t address,
                      wchar_t (&text)[random_text_units + 1]);

// The same from this moment's inputs.
void make_random_text_now(wchar_t (&text)[random_text_units + 1]);

// Six digits: the microseconds within the current second.
void make_time_us_text(wchar_t (&text)[32]);

// The system time in 100-nanosecond units since 1601, in decimal.
void make_time_text(wchar_t (&text)[32]);
