#include "catalogue/SortKeys.h"

#include "catalogue/ProgressDisplay.h"
#include "platform/TextCollator.h"

#include <QStringView>

#include <algorithm>

namespace orlix {

namespace {

// Entries a thread keys before it looks for more work. Small enough for both threads to end
// close together and for the progress to move smoothly, large enough to cost nothing.
constexpr std::size_t kChunk = 128;

// The key's first eight bytes, big-endian, zeros past its end: numbers in the order of the
// keys, except that keys which agree in them (or differ only in zeros) tie.
std::uint64_t headOf(std::string_view key) {
    std::uint64_t head = 0;
    for (std::size_t i = 0; i < 8; ++i)
        head = head << 8 | (i < key.size() ? static_cast<unsigned char>(key[i]) : 0u);
    return head;
}

} // namespace

SortKeys::SortKeys(const EntryList& entries, qsizetype cut, qsizetype length)
    : entries_(entries), cut_(cut), length_(length),
      chunks_((entries.size() + kChunk - 1) / kChunk), blocks_(chunks_), keys_(entries.size()),
      heads_(entries.size()), done_(new std::atomic<bool>[chunks_]()) {}

SortKeys::~SortKeys() = default;

std::vector<std::uint32_t> SortKeys::build(const platform::TextCollator& collator,
                                           ProgressSchedule* schedule) {
    std::vector<std::uint32_t> share;
    for (;;) {
        const std::size_t chunk = nextChunk_.fetch_add(1, std::memory_order_relaxed);
        if (chunk >= chunks_)
            break;
        const std::size_t begin = chunk * kChunk;
        const std::size_t end = std::min(entries_.size(), begin + kChunk);
        std::string& block = blocks_[chunk];
        block.reserve(kChunk * 32);
        std::size_t ends[kChunk];
        for (std::size_t i = begin; i < end; ++i) {
            collator.appendSortKey(QStringView(entries_[i].Path).mid(cut_, length_ - cut_), block);
            ends[i - begin] = block.size();
            share.push_back(static_cast<std::uint32_t>(i));
        }
        // The block is complete, so it no longer moves.
        std::size_t from = 0;
        for (std::size_t i = begin; i < end; ++i) {
            const std::size_t to = ends[i - begin];
            keys_[i] = std::string_view(block).substr(from, to - from);
            heads_[i] = headOf(keys_[i]);
            from = to;
        }
        done_[chunk].store(true, std::memory_order_release);
        if (schedule)
            reportDone(*schedule);
    }
    std::stable_sort(share.begin(), share.end(),
                     [this](std::uint32_t a, std::uint32_t b) { return less(a, b); });
    return share;
}

void SortKeys::reportDone(ProgressSchedule& schedule) {
    while (reported_ < chunks_ && done_[reported_].load(std::memory_order_acquire)) {
        const std::size_t end = std::min(entries_.size(), (reported_ + 1) * kChunk);
        for (std::size_t i = reported_ * kChunk; i < end; ++i)
            schedule.afterPass(static_cast<std::int32_t>(i));
        ++reported_;
    }
}

void SortKeys::reportRest(ProgressSchedule& schedule) {
    reportDone(schedule);
}

void SortKeys::abandon() {
    nextChunk_.store(chunks_, std::memory_order_relaxed);
}

bool SortKeys::less(std::uint32_t a, std::uint32_t b) const {
    if (heads_[a] != heads_[b])
        return heads_[a] < heads_[b];
    const int order = keys_[a].compare(keys_[b]);
    return order < 0 || (order == 0 && a < b);
}

std::vector<std::uint32_t> SortKeys::merge(const std::vector<std::uint32_t>& a,
                                           const std::vector<std::uint32_t>& b) const {
    std::vector<std::uint32_t> order(a.size() + b.size());
    std::merge(a.begin(), a.end(), b.begin(), b.end(), order.begin(),
               [this](std::uint32_t x, std::uint32_t y) { return less(x, y); });
    return order;
}

} // namespace orlix
