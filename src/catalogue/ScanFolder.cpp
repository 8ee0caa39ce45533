#include "catalogue/ScanFolder.h"

#include "catalogue/ExtensionFilter.h"
#include "catalogue/SortEntries.h"
#include "platform/FolderListing.h"
#include "platform/NativePath.h"
#include "platform/TextCollator.h"

#include <exception>

// The rules of a scan:
// - A folder record without the directory bit, or whose path is blank once leading and
//   trailing spaces are removed, gives false and leaves `entries` as it was.
// - One trailing separator is dropped; "/" then lists the root.
// - A folder that cannot be listed gives false and leaves `entries` as it was; otherwise
//   `entries` is emptied and refilled. "." and ".." and hidden names are never stored.
// - An entry whose attribute word cannot be read (a dangling link, a file removed while the
//   folder is being listed) is skipped and the scan goes on, so that one bad entry does not
//   hide every later picture of the folder.
// - A read error of the listing ends the scan; after the 32,768th stored entry it stops
//   likewise. Either way the entries stored so far stay, unsorted, and the result says
//   whether there were any.
// - Only a sortFlag of exactly 1 sorts, on the first kSortKeyLength characters of each path.

namespace orlix {

namespace {

QString withoutSurroundingSpaces(const QString& text) {
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text.at(begin) == QLatin1Char(' '))
        ++begin;
    while (end > begin && text.at(end - 1) == QLatin1Char(' '))
        --end;
    return text.mid(begin, end - begin);
}

bool isDotOrDotDot(const QString& name) {
    return name == QLatin1String(".") || name == QLatin1String("..");
}

} // namespace

bool ScanFolder(const FileEntry& folder, EntryList& entries, std::int16_t sortFlag,
                std::int16_t attrMask, const QString& extList, ProgressWindow* progress) {
    bool result = false;
    if ((folder.Attributes & kDirectoryBit) != kDirectoryBit)
        return result;
    QString path = withoutSurroundingSpaces(folder.Path);
    if (path.isEmpty())
        return result;
    if (path.endsWith(platform::kSeparator))
        path.chop(1);

    const platform::TextCollator collator;
    ExtensionFilter extensions(extList, collator);

    platform::FolderListing listing;
    if (!listing.open(path.isEmpty() ? QString(platform::kSeparator) : path))
        return result;

    entries.clear();
    const QString prefix = path + platform::kSeparator;
    for (QString name = listing.next(); !name.isEmpty(); name = listing.next()) {
        if (isDotOrDotDot(name))
            continue;
        QString fullPath = prefix + name;
        std::int16_t word = 0;
        if (!listing.lastAttributeWord(word))
            continue;
        word = static_cast<std::int16_t>(word & attrMask);
        if (word == 0 || !extensions.passes(fullPath))
            continue;
        result = true;
        entries.push_back(FileEntry{std::move(fullPath), word});
        if (entries.size() >= static_cast<std::size_t>(kMaxEntries))
            return result;
    }
    if (listing.failed())
        return result;

    if (sortFlag == 1 && !entries.empty()) {
        try {
            SortEntries(entries, kSortKeyLength, progress, collator);
        } catch (const std::exception&) {
            // Out of memory inside the sort: the entries stay as listed, and the result stands.
        }
    }
    return result;
}

} // namespace orlix
