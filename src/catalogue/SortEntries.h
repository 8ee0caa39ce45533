#pragma once

#include "catalogue/FileEntry.h"

#include <QStringView>

#include <cstdint>

namespace orlix {

class ProgressWindow;
namespace platform {
class TextCollator;
}

// Sorts `entries` in place, ascending by the first `keyLength` characters of each Path in the
// locale-aware comparison that ignores letter case; entries with equal keys keep their order.
// Reports progress to `progressWindow` (may be null) with exactly the values, in the same
// order, that the exchange-pass sort reports, ending at 100 %; the work is one collation key
// per entry and a stable sort, shared with a second thread for long lists. Reports come from
// the calling thread only. A `keyLength` below 1 compares nothing and keeps the order.
void SortEntries(EntryList& entries, std::int16_t keyLength, ProgressWindow* progressWindow,
                 const platform::TextCollator& collator);

// The same with a collator for the user's locale.
void SortEntries(EntryList& entries, std::int16_t keyLength,
                 ProgressWindow* progressWindow = nullptr);

// Where the keys of paths that all begin with `shared` may start: just past its last separator
// within the first `keyLength` characters. Equal leading text adds equal weights at every level
// of the comparison, and a separator neither combines with nor reorders the character after
// it, so leaving out the shared folders keeps the order and makes the keys much shorter.
qsizetype SortKeyStart(QStringView shared, qsizetype keyLength);

} // namespace orlix
