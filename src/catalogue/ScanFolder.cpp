#include "catalogue/ScanFolder.h"

#include "catalogue/EntrySorter.h"
#include "catalogue/ExtensionFilter.h"
#include "catalogue/SortEntries.h"
#include "platform/files/FolderListing.h"
#include "platform/files/NativePath.h"
#include "platform/files/TextCollator.h"

#include <exception>
#include <optional>

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

bool isDotOrDotDot(QStringView name) {
    return name == u"." || name == u"..";
}

// The entries of one scan that pass its rules, one at a time, in the listing's order. Both
// the scan and the folder test read a folder through it, so that they cannot disagree.
class StoredEntries {
public:
    StoredEntries(const FileEntry& folder, std::int16_t attrMask, const QString& extList)
        : attrMask_(attrMask), extensions_(extList, collator_) {
        if ((folder.Attributes & kDirectoryBit) != kDirectoryBit)
            return;
        QString path = withoutSurroundingSpaces(folder.Path);
        if (path.isEmpty())
            return;
        if (path.endsWith(platform::kSeparator))
            path.chop(1);
        opened_ = listing_.open(path.isEmpty() ? QString(platform::kSeparator) : path);
        prefix_ = path + platform::kSeparator;
    }

    // False when the folder record is not a valid folder or the folder cannot be listed.
    bool opened() const { return opened_; }

    // The next entry to store; false after the last one or on a read error.
    bool next(FileEntry& entry) {
        if (!opened_)
            return false;
        for (QString path = listing_.nextPath(prefix_); !path.isEmpty();
             path = listing_.nextPath(prefix_)) {
            if (isDotOrDotDot(QStringView(path).mid(prefix_.size())))
                continue;
            // The name first: where the file system does not say what an entry is, the
            // attribute word costs a call to it.
            if (!extensions_.passes(path))
                continue;
            std::int16_t word = 0;
            if (!listing_.lastAttributeWord(word))
                continue;
            word = static_cast<std::int16_t>(word & attrMask_);
            if (word == 0)
                continue;
            entry = FileEntry{std::move(path), word};
            return true;
        }
        return false;
    }

    // True when the listing ended on a read error.
    bool failed() const { return listing_.failed(); }

    // The collator of the scan's locale, for the sort.
    const platform::TextCollator& collator() const { return collator_; }

    // What every stored path begins with: the folder and a separator.
    const QString& prefix() const { return prefix_; }

private:
    const std::int16_t attrMask_;
    const platform::TextCollator collator_;
    ExtensionFilter extensions_;
    platform::FolderListing listing_;
    QString prefix_;
    bool opened_ = false;
};

} // namespace

bool ScanFolder(const FileEntry& folder, EntryList& entries, std::int16_t sortFlag,
                std::int16_t attrMask, const QString& extList, ProgressWindow* progress) {
    StoredEntries stored(folder, attrMask, extList);
    if (!stored.opened())
        return false;

    entries.clear();
    // A sorted scan makes sort keys on a second core while the folder is still being read;
    // the list must then not move, so it gets room for the most a scan stores.
    std::optional<EntrySorter> sorter;
    if (sortFlag == 1) {
        entries.reserve(kMaxEntries);
        sorter.emplace(entries, kMaxEntries, SortKeyStart(stored.prefix(), kSortKeyLength),
                       kSortKeyLength, stored.collator());
    }
    bool result = false;
    for (FileEntry entry; stored.next(entry);) {
        result = true;
        entries.push_back(std::move(entry));
        if (entries.size() >= static_cast<std::size_t>(kMaxEntries))
            return result;
        if (sorter)
            sorter->added();
    }
    if (stored.failed())
        return result;

    if (sorter && !entries.empty()) {
        try {
            sorter->sort(progress);
        } catch (const std::exception&) {
            // Out of memory inside the sort: the entries stay as listed, and the result stands.
        }
    }
    return result;
}

bool FolderHasEntry(const FileEntry& folder, std::int16_t attrMask, const QString& extList) {
    StoredEntries stored(folder, attrMask, extList);
    FileEntry first;
    return stored.next(first);
}

} // namespace orlix
