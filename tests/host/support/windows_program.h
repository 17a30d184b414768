#pragma once

// The headers of a Windows program, for application folders whose main
// executable qarvel-pack checks but never runs.

#include "support/packer_run.h"

#include <cstdint>

namespace qarvel_test {

constexpr uint16_t machine_x64 = 0x8664, machine_x86 = 0x014C, machine_arm64 = 0xAA64;
constexpr uint16_t image_executable = 0x0022, image_dll = 0x2022;

// A DOS stub, "PE\0\0", the file header and a zero PE32+ optional header.
Bytes windows_program(uint16_t machine = machine_x64, uint16_t characteristics = image_executable);

} // namespace qarvel_test
