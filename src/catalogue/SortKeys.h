#pragma once

#include "catalogue/FileEntry.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace orlix {

class ProgressSchedule;
namespace platform {
class TextCollator;
}

// The collation keys of a list's paths (characters [cut, length) of each), made by up to two
// threads at once, possibly while the list is still being filled. Each thread calls build()
// with a collator of its own; they take chunks of the list in list order, a chunk once the
// list holds all of it, until the list is closed and no chunk is left; each gets back its
// share, sorted. The thread that owns the progress window reports pass i to the schedule as
// the keys up to i are done, in list order, so that the window shows the values of the
// exchange passes.
class SortKeys {
public:
    // One entry of a share: its index, and the first sixteen bytes of its key as two numbers,
    // which settle most comparisons without reading the key (names in a folder often share
    // their first eight). The records are sorted, not indices into them, so that a comparison
    // reads memory that lies together.
    struct Item {
        std::uint64_t head[2];
        std::uint32_t index;
    };
    using Share = std::vector<Item>;

    // `entries` is the list's first entry; the list grows to at most `capacity` entries without
    // moving.
    SortKeys(const FileEntry* entries, std::size_t capacity, qsizetype cut, qsizetype length);
    ~SortKeys();
    SortKeys(const SortKeys&) = delete;
    SortKeys& operator=(const SortKeys&) = delete;

    // The list now holds `count` entries (called by the thread that fills it, after each one).
    void grown(std::size_t count);

    // The list is complete with `count` entries.
    void close(std::size_t count);

    // Leaves the chunks not yet taken and wakes a build that waits, so that it ends soon.
    void abandon();

    // Keys chunks until the list is closed and none is left, or the work is abandoned, and
    // sorts them. With a schedule (the window's thread only, once the list is closed), reports
    // the passes that are done after each chunk.
    Share build(const platform::TextCollator& collator, ProgressSchedule* schedule);

    // Reports every pass not yet reported; call it once all builds have returned.
    void reportRest(ProgressSchedule& schedule);

    // Merges two shares into the order of the whole list, as indices: by key, equal keys in
    // list order (as a stable sort leaves them). Only once every build has returned.
    std::vector<std::uint32_t> merge(const Share& a, const Share& b) const;

private:
    struct KeyBytes {
        const char* data;
        std::uint32_t size;
    };

    // Waits until chunk `chunk` is in the list; gives its end, or 0 when it never will be.
    std::size_t waitFor(std::size_t chunk);
    bool abandoned();
    bool less(const Item& a, const Item& b) const;
    void reportDone(ProgressSchedule& schedule);

    const FileEntry* const entries_;
    const qsizetype cut_;
    const qsizetype length_;
    const std::size_t chunks_; // room for
    // Each chunk's keys lie end to end in a block of their own, written by the thread that took
    // the chunk; keys_[i] points at key i once its chunk is done.
    std::unique_ptr<std::string[]> blocks_;
    std::unique_ptr<KeyBytes[]> keys_;
    std::atomic<std::size_t> nextChunk_{0};
    std::unique_ptr<std::atomic<bool>[]> done_;

    std::mutex mutex_;
    std::condition_variable listGrew_;
    std::size_t listed_ = 0; // entries a build may key
    bool closed_ = false;
    bool abandoned_ = false;

    std::size_t total_ = 0;    // entries, once closed
    std::size_t reported_ = 0; // chunks whose passes went to the schedule
};

} // namespace orlix
