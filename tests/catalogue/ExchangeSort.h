#pragma once

#include "catalogue/FileEntry.h"

#include <cstdint>

namespace orlix {

class ProgressWindow;
namespace platform {
class TextCollator;
}

// The sort as a plain exchange-pass (bubble) sort: last index + 1 full passes over the list,
// each comparing every neighbouring pair and exchanging a pair whose left key is greater,
// reporting progress after the passes the ProgressSchedule names and once more at the end.
// n x (n - 1) comparisons: kept only as the reference that SortEntries must match, in the
// tests and the benchmarks.
void SortEntriesByExchange(EntryList& entries, std::int16_t keyLength,
                           ProgressWindow* progressWindow, const platform::TextCollator& collator);

} // namespace orlix
