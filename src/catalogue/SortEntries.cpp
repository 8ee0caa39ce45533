#include "catalogue/SortEntries.h"

#include "catalogue/ProgressDisplay.h"
#include "catalogue/ProgressWindow.h"
#include "platform/NativePath.h"
#include "platform/TextCollator.h"

#include <QCollatorSortKey>

#include <algorithm>
#include <numeric>
#include <vector>

namespace orlix {

namespace {

// Where the keys may start: just past the last separator within the beginning that every
// key shares (the scanned folder's path, in a scan). Equal leading text adds equal weights
// at every level of the comparison, and a separator neither combines with nor reorders the
// character after it, so cutting there keeps the order (the tests hold it against the
// exchange passes under several collations) and makes the keys much shorter.
qsizetype sharedFolderLength(const EntryList& entries, qsizetype keyLength) {
    const QString& first = entries.front().Path;
    qsizetype shared = std::min(first.size(), keyLength);
    for (const FileEntry& entry : entries) {
        const QString& path = entry.Path;
        qsizetype i = 0;
        const qsizetype end = std::min(shared, path.size());
        while (i < end && path.at(i) == first.at(i))
            ++i;
        shared = i;
        if (shared == 0)
            return 0;
    }
    const qsizetype separator = first.lastIndexOf(platform::kSeparator, shared - 1);
    return separator < 0 ? 0 : separator + 1;
}

} // namespace

void SortEntries(EntryList& entries, std::int16_t keyLength, ProgressWindow* progressWindow,
                 const platform::TextCollator& collator) {
    if (entries.empty())
        return;
    const auto last = static_cast<std::int32_t>(entries.size() - 1);
    ProgressSchedule schedule(progressWindow, last);
    const qsizetype length = std::max<qsizetype>(keyLength, 0);
    const qsizetype cut = length > 0 ? sharedFolderLength(entries, length) : 0;

    // Key i stands for pass i of the exchange-pass sort: making the keys is most of the work,
    // so the bar grows with it and reaches the same values in the same order.
    std::vector<QCollatorSortKey> keys;
    keys.reserve(entries.size());
    for (std::int32_t i = 0; i <= last; ++i) {
        keys.push_back(
            collator.sortKey(entries[static_cast<std::size_t>(i)].Path.mid(cut, length - cut)));
        schedule.afterPass(i);
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

    schedule.finish();
}

void SortEntries(EntryList& entries, std::int16_t keyLength, ProgressWindow* progressWindow) {
    const platform::TextCollator collator;
    SortEntries(entries, keyLength, progressWindow, collator);
}

} // namespace orlix
