#pragma once

#include "catalogue/FileEntry.h"

#include <QString>

#include <cstdint>

namespace orlix {

class ProgressWindow;

// Lists the entries of `folder` that pass `attrMask` and `extList` ("jpg|gif"; empty lets
// everything pass) into `entries`, sorted by path when `sortFlag` is exactly 1. True when at
// least one entry was stored. Fails silently; see ScanFolder.cpp for the rules.
// `progress` is the progress window the caller opened around a sorted scan; it may be null.
bool ScanFolder(const FileEntry& folder, EntryList& entries, std::int16_t sortFlag,
                std::int16_t attrMask, const QString& extList, ProgressWindow* progress = nullptr);

// Whether ScanFolder with these arguments would store an entry (and so give true), found by
// reading the folder only up to the first entry it would store.
bool FolderHasEntry(const FileEntry& folder, std::int16_t attrMask, const QString& extList);

} // namespace orlix
