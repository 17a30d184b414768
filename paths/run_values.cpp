#include "paths/run_values.h"

#include <cstdio>
#include <windows.h>

static const char base64_url_alphabet[] =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_";

void make_random_text(uint32_t process_id, uint64_t counter, uint64_t address,
                      wchar_t (&text)[random_text_units + 1]) {
    uint32_t x = process_id ^ static_cast<uint32_t>(counter) ^
                 static_cast<uint32_t>(counter >> 32) ^ static_cast<uint32_t>(address) ^
                 static_cast<uint32_t>(address >> 32);
    if (x == 0)
        x = 1;
    unsigned char bytes[8];
    for (unsigned char& byte : bytes) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        byte = static_cast<unsigned char>(x);
    }
    size_t out = 0;
    for (size_t i = 0; i < 8; i += 3) {
        uint32_t group = static_cast<uint32_t>(bytes[i]) << 16;
        size_t present = 8 - i < 3 ? 8 - i : 3;
        if (present > 1)
            group |= static_cast<uint32_t>(bytes[i + 1]) << 8;
        if (present > 2)
            group |= bytes[i + 2];
        // Unpadded: n bytes give n + 1 characters.
        for (size_t k = 0; k <= present; ++k)
            text[out++] = static_cast<wchar_t>(base64_url_alphabet[(group >> (18 - 6 * k)) & 63]);
    }
    text[out] = 0;
}

void make_random_text_now(wchar_t (&text)[random_text_units + 1]) {
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    // The counter's own address differs from run to run under ASLR.
    make_random_text(GetCurrentProcessId(), static_cast<uint64_t>(counter.QuadPart),
                     reinterpret_cast<uintptr_t>(&counter), text);
}

static void widen_ascii(const char* narrow, wchar_t (&text)[32]) {
    size_t i = 0;
    for (; narrow[i] != 0 && i < 31; ++i)
        text[i] = static_cast<wchar_t>(narrow[i]);
    text[i] = 0;
}

static int64_t system_time_now() {
    int64_t time = 0;
    GetSystemTimeAsFileTime(reinterpret_cast<FILETIME*>(&time));
    return time;
}

void make_time_us_text(wchar_t (&text)[32]) {
    char narrow[32];
    snprintf(narrow, sizeof narrow, "%06ld", static_cast<long>(system_time_now() / 10 % 1000000));
    widen_ascii(narrow, text);
}

void make_time_text(wchar_t (&text)[32]) {
    char narrow[32];
    snprintf(narrow, sizeof narrow, "%lld", static_cast<long long>(system_time_now()));
    widen_ascii(narrow, text);
}
