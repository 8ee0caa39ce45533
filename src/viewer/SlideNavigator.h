#pragma once

#include "viewer/ViewerState.h"

#include <cstdint>
#include <functional>

namespace orlix {

// The stepping rules of the slide show over the viewer's folder and file lists.
// It moves the indices of the state it is given and, whenever it enters a folder, calls the
// folder loader, which must refill fileList and, when the folder had pictures, set
// lastFileIndex to its last index and fileIndex to 0 (and leave both alone otherwise).
class SlideNavigator {
public:
    enum class Outcome {
        Moved,      // a picture is current
        EndOfShow,  // a forward search ran past the last folder with Loop off
        NoPictures, // a full pass over the folder list found no picture
    };

    using FolderLoader = std::function<void()>;

    SlideNavigator(ViewerState& state, FolderLoader loadFolderFiles);

    // Start-up: enters the folders from the first on until one has pictures. False when none
    // has; folderIndex is then past the last folder.
    bool findFirstFolder();

    // One move in the direction of `key` (an arrow key code; any other code moves nothing).
    // `loop` and `autoNext` are the Loop and Auto switches as booleans.
    Outcome move(std::int16_t key, bool loop, bool autoNext);

    // The index of the file that the next move in the direction of `key` shows, when that move
    // stays within the current folder (Left and Right, the wrap to the folder's other end
    // included); -1 when it leaves the folder or moves nothing.
    int nextFileWithinFolder(std::int16_t key, bool autoNext) const;

private:
    Outcome searchFolder(int direction, bool loop);

    ViewerState& state_;
    FolderLoader loadFolderFiles_;
};

} // namespace orlix
