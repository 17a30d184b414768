#include "packer/payload/windows_upper.h"

#include "packer/payload/upcase_table.h"

#include <algorithm>
#include <iterator>

namespace qarvel {

char16_t windows_upper(char16_t unit) {
    auto after =
        std::upper_bound(std::begin(upcase_runs), std::end(upcase_runs), unit,
                         [](char16_t value, const UpcaseRun& run) { return value < run.first; });
    if (after == std::begin(upcase_runs))
        return unit;
    const UpcaseRun& run = *std::prev(after);
    unsigned offset = unit - run.first;
    if (offset % run.step != 0 || offset / run.step >= run.count)
        return unit;
    return static_cast<char16_t>(unit + run.difference);
}

} // namespace qarvel
