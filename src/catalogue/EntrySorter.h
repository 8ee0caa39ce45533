#pragma once

#include "catalogue/FileEntry.h"
#include "catalogue/HelperThread.h"
#include "catalogue/SortKeys.h"

#include <memory>

namespace orlix {

class ProgressWindow;
namespace platform {
class TextCollator;
}

// Sorts a list as SortEntries() describes, and may start while the list is still being
// filled: once the list is long enough, a helper thread makes the keys of the entries already
// in it while the caller goes on adding more, and helps with the rest when the list is done.
// The list must not move while the sorter lives: reserve room for every entry first.
// Everything but the key making stays on the caller's thread, progress reports included.
class EntrySorter {
public:
    // `keyStart`: characters every path shares before the part that decides the order (see
    // SortKeyStart()); the order is that of characters [keyStart, keyLength) of each path.
    EntrySorter(EntryList& entries, std::size_t capacity, qsizetype keyStart, qsizetype keyLength,
                const platform::TextCollator& collator);
    // Without a sort() the work is dropped; waits for the helper either way.
    ~EntrySorter();
    EntrySorter(const EntrySorter&) = delete;
    EntrySorter& operator=(const EntrySorter&) = delete;

    // One entry was added to the list.
    void added();

    // The list is complete: sorts it in place, reporting to `progressWindow` (may be null).
    // Should it throw, the list is as it was.
    void sort(ProgressWindow* progressWindow);

private:
    void startHelper();

    EntryList& entries_;
    const platform::TextCollator& collator_;
    SortKeys keys_;
    std::unique_ptr<platform::TextCollator> helperCollator_;
    SortKeys::Share helperShare_;
    bool helped_ = false;
    HelperThread helper_; // last, so that it is waited for before the rest goes
};

} // namespace orlix
