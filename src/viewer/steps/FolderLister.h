#pragma once

#include "catalogue/FileEntry.h"

#include <QString>

#include <cstdint>
#include <functional>

namespace orlix {

// Where the viewer gets its folder listings (ScanFolder, off the GUI thread in the program).
class FolderLister {
public:
    // ScanFolder's inputs, and whether the progress window is to be shown around the scan.
    struct Request {
        FileEntry folder;
        std::int16_t sortFlag = 0;
        std::int16_t attrMask = 0;
        QString extList;
        bool withProgress = false;
    };
    // The scan's result and the list it filled.
    using Done = std::function<void(bool found, EntryList entries)>;

    virtual ~FolderLister() = default;

    // Lists as ScanFolder does into `entries`, which keeps what it holds when the folder
    // cannot be listed. `done` runs once, on the GUI thread, possibly before list() returns,
    // and never after cancel().
    virtual void list(const Request& request, EntryList entries, Done done) = 0;
    // Closes the progress window of the listing under way; the listing itself goes on.
    virtual void closeProgress() = 0;
    // Abandons the listing under way.
    virtual void cancel() = 0;
};

} // namespace orlix
