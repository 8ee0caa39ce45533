#include "catalogue/SortEntries.h"

#include "catalogue/EntrySorter.h"
#include "platform/files/NativePath.h"
#include "platform/files/TextCollator.h"

#include <algorithm>

namespace orlix {

qsizetype SortKeyStart(QStringView shared, qsizetype keyLength) {
    return shared.left(keyLength).lastIndexOf(platform::kSeparator) + 1;
}

namespace {

// The beginning that every path shares, up to `keyLength` characters.
QStringView sharedBeginning(const EntryList& entries, qsizetype keyLength) {
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
    }
    return QStringView(first).left(shared);
}

} // namespace

void SortEntries(EntryList& entries, std::int16_t keyLength, ProgressWindow* progressWindow,
                 const platform::TextCollator& collator) {
    if (entries.empty())
        return;
    const qsizetype length = std::max<qsizetype>(keyLength, 0);
    const qsizetype start = length > 0 ? SortKeyStart(sharedBeginning(entries, length), length) : 0;
    EntrySorter sorter(entries, entries.size(), start, length, collator);
    sorter.sort(progressWindow);
}

void SortEntries(EntryList& entries, std::int16_t keyLength, ProgressWindow* progressWindow) {
    const platform::TextCollator collator;
    SortEntries(entries, keyLength, progressWindow, collator);
}

} // namespace orlix
