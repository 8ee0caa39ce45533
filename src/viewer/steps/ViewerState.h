#pragma once

#include "catalogue/FileEntry.h"
#include "viewer/steps/KeyCodes.h"

#include <cstdint>

namespace orlix {

// What the viewer knows about the running show. Lengths are twips.
// While the show runs: 0 <= folderIndex <= last index of folderList, lastFileIndex is the last
// index of fileList, and -1 <= fileIndex <= lastFileIndex.
struct ViewerState {
    EntryList folderList;          // the folders of the show, in showing order
    EntryList fileList;            // the picture files of the current folder
    std::int16_t folderIndex = -1; // -1 until the first folder has been chosen
    std::int16_t fileIndex = -1;   // -1 before the first picture
    // Last index of fileList after the last successful folder load; -1 while none is loaded
    // (a folder search sets it to -1 and looks at it after each load).
    std::int32_t lastFileIndex = -1;
    std::int32_t viewHeight = 0; // height the picture may use, clear of the guide rows
    std::int32_t offsetX = 0;    // pan position at real size, never below 0
    std::int32_t offsetY = 0;
    bool advance = true; // the next slide step moves (true) or only redraws (false)
    std::int16_t lastKey = keycode::kRight; // the direction the show runs in
};

} // namespace orlix
