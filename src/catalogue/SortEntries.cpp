#include "catalogue/SortEntries.h"

#include "catalogue/HelperThread.h"
#include "catalogue/ProgressDisplay.h"
#include "catalogue/ProgressWindow.h"
#include "catalogue/SortKeys.h"
#include "platform/NativePath.h"
#include "platform/TextCollator.h"

#include <algorithm>
#include <memory>
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
        const QStringView path(entry.Path);
        if (path.startsWith(QStringView(first).left(shared)))
            continue; // the usual case, and a fast one
        qsizetype i = 0;
        const qsizetype end = std::min(shared, path.size());
        while (i < end && path[i] == first[i])
            ++i;
        shared = i;
        if (shared == 0)
            return 0;
    }
    const qsizetype separator = first.lastIndexOf(platform::kSeparator, shared - 1);
    return separator < 0 ? 0 : separator + 1;
}

// Below this many entries a second thread costs more than it saves.
constexpr std::size_t kHelperFrom = 512;

struct AbandonOnExit {
    SortKeys& keys;
    ~AbandonOnExit() { keys.abandon(); }
};

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
    // so the bar grows with it and reaches the same values in the same order. Both cores make
    // keys; only this thread, which owns the window, reports.
    SortKeys keys(entries, cut, length);
    std::vector<std::uint32_t> helperShare;
    const std::unique_ptr<platform::TextCollator> helperCollator =
        entries.size() >= kHelperFrom ? collator.clone() : nullptr;
    HelperThread helper;
    const bool helped = helperCollator && helper.start([&keys, &helperShare, &helperCollator] {
        helperShare = keys.build(*helperCollator, nullptr);
    });
    // Should this thread fail, the helper takes no more work and the helper's destructor waits
    // for the chunk in hand.
    const AbandonOnExit abandon{keys};
    const std::vector<std::uint32_t> ownShare = keys.build(collator, &schedule);
    if (helped)
        helper.join();
    keys.reportRest(schedule);
    const std::vector<std::uint32_t> order = keys.merge(ownShare, helperShare);

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
