// The packer refuses names that differ only in letter case by its own table
// of upper cases; here the table meets the system's own, unit by unit.
#include "packer/payload/upcase_table.h"

#include <gtest/gtest.h>
#include <windows.h>

extern "C" WCHAR NTAPI RtlUpcaseUnicodeChar(WCHAR unit);

namespace {

char16_t table_upper(char16_t unit) {
    for (const auto& run : qarvel::upcase_runs) {
        unsigned offset = static_cast<unsigned>(unit) - run.first;
        if (unit >= run.first && offset % run.step == 0 && offset / run.step < run.count)
            return static_cast<char16_t>(unit + run.difference);
    }
    return unit;
}

TEST(UpcaseTable, AgreesWithTheSystemOnEveryUnit) {
    size_t differences = 0;
    for (unsigned unit = 0; unit <= 0xFFFF; ++unit) {
        auto system = static_cast<unsigned>(RtlUpcaseUnicodeChar(static_cast<WCHAR>(unit)));
        auto table = static_cast<unsigned>(table_upper(static_cast<char16_t>(unit)));
        if (system != table && ++differences <= 20)
            ADD_FAILURE() << std::hex << "U+" << unit << ": the system gives U+" << system
                          << ", the table U+" << table;
    }
    EXPECT_EQ(differences, 0u);
}

} // namespace
