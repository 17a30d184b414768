#pragma once

#include <cstdint>

// A section of the launcher's own mapped image, found by name through its
// section table ("PE Format"); its virtual size is its exact length.
struct OwnSection {
    const unsigned char* bytes; // nullptr when the image has no such section
    uint64_t size;
};

OwnSection find_own_section(const char* name);
