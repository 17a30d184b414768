#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace generated_bytes {

// Pseudo-random bytes that repeat every 65,521 bytes: they compress well, yet
// no two 32 KiB stretches of a large file are alike. payload-forge makes
// entry contents with it, and the tests make the same bytes to compare.
inline std::vector<unsigned char> make(size_t count) {
    constexpr size_t period = 65521;
    std::vector<unsigned char> pattern(period);
    uint32_t state = 2463534242u;
    for (auto& byte : pattern) {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        byte = static_cast<unsigned char>(state >> 24);
    }
    std::vector<unsigned char> out(count);
    for (size_t i = 0; i < count; ++i)
        out[i] = pattern[i % period];
    return out;
}

} // namespace generated_bytes
