#pragma once

#include <QString>

#include <cstdint>
#include <vector>

namespace orlix {

// One folder entry: its full path and its attribute word ANDed with the scan's mask.
// A record that names a folder for a scan carries that folder's path (it may end with the
// separator) and the directory bit 16.
struct FileEntry {
    QString Path;
    std::int16_t Attributes = 0;

    bool operator==(const FileEntry& other) const {
        return Path == other.Path && Attributes == other.Attributes;
    }
};

// Zero-based; a scan never stores more than kMaxEntries.
using EntryList = std::vector<FileEntry>;

inline constexpr std::int16_t kDirectoryBit = 16;
// Masks the callers pass: directories only, and every attribute bit of a positive int16.
inline constexpr std::int16_t kDirectoriesMask = 16;
inline constexpr std::int16_t kAnyEntryMask = 32767;
inline constexpr int kMaxEntries = 32768;
// Leading characters of a path that the sort compares.
inline constexpr std::int16_t kSortKeyLength = 256;

} // namespace orlix
