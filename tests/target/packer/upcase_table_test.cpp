// The packer refuses names that differ only in letter case by its own table
// of upper cases; here the function it calls meets the system's own, unit by
// unit.
#include "packer/payload/windows_upper.h"

#include <gtest/gtest.h>
#include <windows.h>

extern "C" WCHAR NTAPI RtlUpcaseUnicodeChar(WCHAR unit);

namespace {

TEST(UpcaseTable, AgreesWithTheSystemOnEveryUnit) {
    size_t differences = 0;
    for (unsigned unit = 0; unit <= 0xFFFF; ++unit) {
        auto system = static_cast<unsigned>(RtlUpcaseUnicodeChar(static_cast<WCHAR>(unit)));
        auto packer = static_cast<unsigned>(qarvel::windows_upper(static_cast<char16_t>(unit)));
        if (system != packer && ++differences <= 20)
            ADD_FAILURE() << std::hex << "U+" << unit << ": the system gives U+" << system
                          << ", the packer U+" << packer;
    }
    EXPECT_EQ(differences, 0u);
}

} // namespace
