#include "catalogue/EntrySorter.h"

#include "catalogue/ProgressDisplay.h"
#include "platform/files/TextCollator.h"

#include <exception>

namespace orlix {

namespace {

// Below this many entries a second thread costs more than it saves.
constexpr std::size_t kHelperFrom = 512;

// Moves entry order[k] to place k for every k, along the cycles of the permutation, so that
// no second list is made. Uses up `order`.
void placeInOrder(EntryList& entries, std::vector<std::uint32_t>& order) {
    for (std::uint32_t start = 0; start < order.size(); ++start) {
        if (order[start] == start)
            continue;
        FileEntry held = std::move(entries[start]);
        std::uint32_t to = start;
        for (;;) {
            const std::uint32_t from = order[to];
            order[to] = to;
            if (from == start) {
                entries[to] = std::move(held);
                break;
            }
            entries[to] = std::move(entries[from]);
            to = from;
        }
    }
}

} // namespace

EntrySorter::EntrySorter(EntryList& entries, std::size_t capacity, qsizetype keyStart,
                         qsizetype keyLength, const platform::TextCollator& collator)
    : entries_(entries), collator_(collator), keys_(entries.data(), capacity, keyStart, keyLength) {
}

EntrySorter::~EntrySorter() {
    keys_.abandon();
}

void EntrySorter::added() {
    keys_.grown(entries_.size());
    if (!helped_ && entries_.size() == kHelperFrom)
        startHelper();
}

void EntrySorter::startHelper() {
    // Without a second thread the caller makes every key itself.
    try {
        helperCollator_ = collator_.clone();
        helped_ = helper_.start([this] { helperShare_ = keys_.build(*helperCollator_, nullptr); });
    } catch (const std::exception&) {
        helped_ = false;
    }
}

void EntrySorter::sort(ProgressWindow* progressWindow) {
    if (entries_.empty())
        return;
    const auto last = static_cast<std::int32_t>(entries_.size() - 1);
    ProgressSchedule schedule(progressWindow, last);
    keys_.close(entries_.size());
    if (!helped_ && entries_.size() >= kHelperFrom)
        startHelper();

    // Key i stands for pass i of the exchange-pass sort: making the keys is most of the work,
    // so the bar grows with it and reaches the same values in the same order.
    const SortKeys::Share ownShare = keys_.build(collator_, &schedule);
    if (helped_)
        helper_.join();
    keys_.reportRest(schedule);
    std::vector<std::uint32_t> order = keys_.merge(ownShare, helperShare_);
    placeInOrder(entries_, order);

    schedule.finish();
}

} // namespace orlix
