#pragma once

#include <QString>

#include <cstdint>
#include <memory>

namespace orlix::platform {

// One folder listing, one name at a time, in the file system's own order.
// Hidden entries (names beginning with ".") are never returned; "." and ".." are returned
// like any other name so that the caller's rules for them hold on every platform.
class FolderListing {
public:
    FolderListing();
    ~FolderListing();
    FolderListing(const FolderListing&) = delete;
    FolderListing& operator=(const FolderListing&) = delete;

    // Starts listing `folder` (no trailing separator, except the root "/").
    // False when the folder cannot be opened; the listing is then empty.
    bool open(const QString& folder);

    // The next name (not a full path), or an empty text after the last one or on a read error.
    QString next();

    // The same name as a full path, `prefix` (the folder and a separator) followed by the name,
    // made in one piece: a scan makes one per entry, and that is most of its cost.
    QString nextPath(const QString& prefix);

    // True when the listing ended on a read error rather than after its last name.
    bool failed() const;

    // The attribute word of the name next() or nextPath() gave last, as readAttributeWord() gives
    // it, but mostly from the listing itself: a stat per entry would cost more than the listing.
    bool lastAttributeWord(std::int16_t& word) const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// Attribute bits the program uses.
inline constexpr std::int16_t kAttrDirectory = 16;
inline constexpr std::int16_t kAttrArchive = 32;

// Reads the attribute word of `path`: kAttrDirectory for a directory (a symbolic link counts
// as what it points to), kAttrArchive for every other entry. False when it cannot be read,
// as for a dangling symbolic link or an entry removed since it was listed.
bool readAttributeWord(const QString& path, std::int16_t& word);

} // namespace orlix::platform
