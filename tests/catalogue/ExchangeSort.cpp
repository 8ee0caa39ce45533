#include "catalogue/ExchangeSort.h"

#include "catalogue/ProgressDisplay.h"
#include "catalogue/ProgressWindow.h"
#include "platform/files/TextCollator.h"

#include <algorithm>
#include <utility>

namespace orlix {

void SortEntriesByExchange(EntryList& entries, std::int16_t keyLength,
                           ProgressWindow* progressWindow, const platform::TextCollator& collator) {
    if (entries.empty())
        return;
    const auto last = static_cast<std::int32_t>(entries.size() - 1);
    ProgressSchedule schedule(progressWindow, last);
    const int length = std::max<int>(keyLength, 0);

    for (std::int32_t pass = 0; pass <= last; ++pass) {
        for (std::int32_t j = 1; j <= last; ++j) {
            FileEntry& left = entries[static_cast<std::size_t>(j - 1)];
            FileEntry& right = entries[static_cast<std::size_t>(j)];
            if (collator.compare(left.Path.left(length), right.Path.left(length)) > 0)
                std::swap(left, right);
        }
        schedule.afterPass(pass);
    }
    schedule.finish();
}

} // namespace orlix
