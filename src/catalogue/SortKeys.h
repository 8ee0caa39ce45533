#pragma once

#include "catalogue/FileEntry.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace orlix {

class ProgressSchedule;
namespace platform {
class TextCollator;
}

// The collation keys of a list's paths (characters [cut, length) of each), made by up to two
// threads at once. Each thread calls build() with a collator of its own; they take chunks of
// the list in list order until none is left, and each gets back the indices it keyed, sorted.
// The thread that owns the progress window reports pass i to the schedule as the keys up to i
// are done, in list order, so that the window shows the values of the exchange passes.
class SortKeys {
public:
    SortKeys(const EntryList& entries, qsizetype cut, qsizetype length);
    ~SortKeys();
    SortKeys(const SortKeys&) = delete;
    SortKeys& operator=(const SortKeys&) = delete;

    // Keys chunks until none is left and sorts the indices it keyed. With a schedule (the
    // window's thread only), reports the passes that are done after each chunk.
    std::vector<std::uint32_t> build(const platform::TextCollator& collator,
                                     ProgressSchedule* schedule);

    // Reports every pass not yet reported; call it once all builds have returned.
    void reportRest(ProgressSchedule& schedule);

    // Leaves the chunks not yet taken, so that a build on another thread ends soon.
    void abandon();

    // Merges two shares that build() gave into the order of the whole list: by key, equal keys
    // in list order (as a stable sort leaves them). Only once every build has returned.
    std::vector<std::uint32_t> merge(const std::vector<std::uint32_t>& a,
                                     const std::vector<std::uint32_t>& b) const;

private:
    bool less(std::uint32_t a, std::uint32_t b) const;
    void reportDone(ProgressSchedule& schedule);

    const EntryList& entries_;
    const qsizetype cut_;
    const qsizetype length_;
    const std::size_t chunks_;
    // Each chunk's keys lie end to end in a block of their own, written by the thread that took
    // the chunk; keys_[i] shows key i once its chunk is done.
    std::vector<std::string> blocks_;
    std::vector<std::string_view> keys_;
    // The first eight bytes of each key as a number, which settles most comparisons at once.
    std::vector<std::uint64_t> heads_;
    std::atomic<std::size_t> nextChunk_{0};
    std::unique_ptr<std::atomic<bool>[]> done_;
    std::size_t reported_ = 0; // chunks whose passes went to the schedule
};

} // namespace orlix
