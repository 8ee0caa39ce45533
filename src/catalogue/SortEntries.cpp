#include "catalogue/SortEntries.h"

#include "catalogue/ProgressDisplay.h"
#include "catalogue/ProgressWindow.h"
#include "platform/TextCollator.h"

#include <QCollatorSortKey>

#include <algorithm>
#include <numeric>
#include <vector>

namespace orlix {

void SortEntries(EntryList& entries, std::int16_t keyLength, ProgressWindow* progressWindow,
                 const platform::TextCollator& collator) {
    if (entries.empty())
        return;
    const auto last = static_cast<std::int32_t>(entries.size() - 1);
    if (progressWindow)
        progressWindow->counters().ProgressTotal = last;
    ProgressSchedule schedule(last);
    const int length = std::max<int>(keyLength, 0);

    // Key i stands for pass i of the exchange-pass sort: making the keys is most of the work,
    // so the bar grows with it and reaches the same values in the same order.
    std::vector<QCollatorSortKey> keys;
    keys.reserve(entries.size());
    for (std::int32_t i = 0; i <= last; ++i) {
        keys.push_back(collator.sortKey(entries[static_cast<std::size_t>(i)].Path.left(length)));
        if (schedule.reportsAfterPass(i) && progressWindow)
            ShowProgress(*progressWindow, i);
    }

    std::vector<std::uint32_t> order(entries.size());
    std::iota(order.begin(), order.end(), 0u);
    std::stable_sort(order.begin(), order.end(), [&keys](std::uint32_t a, std::uint32_t b) {
        return keys[a].compare(keys[b]) < 0;
    });

    EntryList sorted;
    sorted.reserve(entries.size());
    for (const std::uint32_t from : order)
        sorted.push_back(std::move(entries[from]));
    entries.swap(sorted);

    if (progressWindow)
        ShowProgress(*progressWindow, last);
}

void SortEntries(EntryList& entries, std::int16_t keyLength, ProgressWindow* progressWindow) {
    const platform::TextCollator collator;
    SortEntries(entries, keyLength, progressWindow, collator);
}

} // namespace orlix
