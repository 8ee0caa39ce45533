#include "catalogue/SortKeys.h"

#include "catalogue/ProgressDisplay.h"
#include "platform/files/TextCollator.h"

#include <QStringView>

#include <algorithm>
#include <string_view>

namespace orlix {

namespace {

// Entries a thread keys before it looks for more work. Small enough for both threads to end
// close together and for the progress to move smoothly, large enough to cost nothing.
constexpr std::size_t kChunk = 128;

// Eight bytes of the key from `at`, big-endian, zeros past its end: numbers in the order of
// the keys, except that keys which agree in them (or differ only in zeros) tie.
std::uint64_t headOf(std::string_view key, std::size_t at) {
    std::uint64_t head = 0;
    for (std::size_t i = at; i < at + 8; ++i)
        head = head << 8 | (i < key.size() ? static_cast<unsigned char>(key[i]) : 0u);
    return head;
}

} // namespace

SortKeys::SortKeys(const FileEntry* entries, std::size_t capacity, qsizetype cut, qsizetype length)
    : entries_(entries), cut_(cut), length_(length), chunks_((capacity + kChunk - 1) / kChunk),
      blocks_(new std::string[chunks_]), keys_(new KeyBytes[capacity]),
      done_(new std::atomic<bool>[chunks_]()) {}

SortKeys::~SortKeys() = default;

void SortKeys::grown(std::size_t count) {
    if (count % kChunk != 0)
        return; // only whole chunks are worth a wake-up
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        listed_ = count;
    }
    listGrew_.notify_all();
}

void SortKeys::close(std::size_t count) {
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        listed_ = count;
        closed_ = true;
    }
    total_ = count;
    listGrew_.notify_all();
}

void SortKeys::abandon() {
    nextChunk_.store(chunks_, std::memory_order_relaxed);
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        abandoned_ = true;
    }
    listGrew_.notify_all();
}

bool SortKeys::abandoned() {
    const std::lock_guard<std::mutex> lock(mutex_);
    return abandoned_;
}

std::size_t SortKeys::waitFor(std::size_t chunk) {
    const std::size_t begin = chunk * kChunk;
    std::unique_lock<std::mutex> lock(mutex_);
    listGrew_.wait(lock, [&] { return abandoned_ || closed_ || listed_ >= begin + kChunk; });
    if (abandoned_ || listed_ <= begin)
        return 0;
    return std::min(listed_, begin + kChunk);
}

SortKeys::Share SortKeys::build(const platform::TextCollator& collator,
                                ProgressSchedule* schedule) {
    Share share;
    for (;;) {
        const std::size_t chunk = nextChunk_.fetch_add(1, std::memory_order_relaxed);
        if (chunk >= chunks_)
            break;
        const std::size_t end = waitFor(chunk);
        if (end == 0)
            break;
        const std::size_t begin = chunk * kChunk;
        std::string& block = blocks_[chunk];
        block.reserve(kChunk * 32);
        std::size_t ends[kChunk];
        for (std::size_t i = begin; i < end; ++i) {
            collator.appendSortKey(QStringView(entries_[i].Path).mid(cut_, length_ - cut_), block);
            ends[i - begin] = block.size();
        }
        // The block is complete, so it no longer moves.
        std::size_t from = 0;
        for (std::size_t i = begin; i < end; ++i) {
            const std::string_view key =
                std::string_view(block).substr(from, ends[i - begin] - from);
            keys_[i] = KeyBytes{key.data(), static_cast<std::uint32_t>(key.size())};
            share.push_back(Item{{headOf(key, 0), headOf(key, 8)}, static_cast<std::uint32_t>(i)});
            from = ends[i - begin];
        }
        done_[chunk].store(true, std::memory_order_release);
        if (schedule)
            reportDone(*schedule);
    }
    if (abandoned())
        return Share(); // nobody will look at it
    std::stable_sort(share.begin(), share.end(),
                     [this](const Item& a, const Item& b) { return less(a, b); });
    return share;
}

void SortKeys::reportDone(ProgressSchedule& schedule) {
    while (reported_ * kChunk < total_ && done_[reported_].load(std::memory_order_acquire)) {
        const std::size_t end = std::min(total_, (reported_ + 1) * kChunk);
        for (std::size_t i = reported_ * kChunk; i < end; ++i)
            schedule.afterPass(static_cast<std::int32_t>(i));
        ++reported_;
    }
}

void SortKeys::reportRest(ProgressSchedule& schedule) {
    reportDone(schedule);
}

bool SortKeys::less(const Item& a, const Item& b) const {
    if (a.head[0] != b.head[0])
        return a.head[0] < b.head[0];
    if (a.head[1] != b.head[1])
        return a.head[1] < b.head[1];
    const KeyBytes& x = keys_[a.index];
    const KeyBytes& y = keys_[b.index];
    const int order = std::string_view(x.data, x.size).compare(std::string_view(y.data, y.size));
    return order < 0 || (order == 0 && a.index < b.index);
}

std::vector<std::uint32_t> SortKeys::merge(const Share& a, const Share& b) const {
    std::vector<std::uint32_t> order;
    order.reserve(a.size() + b.size());
    auto x = a.begin(), y = b.begin();
    while (x != a.end() && y != b.end())
        order.push_back(less(*y, *x) ? (y++)->index : (x++)->index);
    for (; x != a.end(); ++x)
        order.push_back(x->index);
    for (; y != b.end(); ++y)
        order.push_back(y->index);
    return order;
}

} // namespace orlix
