#pragma once

#include "viewer/steps/ViewerState.h"

#include <cstdint>

namespace orlix {

// The stepping rules of the slide show over the viewer's folder and file lists. It moves the
// indices of the state it is given. Folders are listed by the caller, which may take its time:
// when a move enters a folder, it answers LoadFolder, and the caller lists the folder at
// folderIndex into fileList (setting lastFileIndex to its last index and fileIndex to 0 when
// the folder had pictures, leaving both alone otherwise) and then calls folderLoaded().
class SlideNavigator {
public:
    enum class Outcome {
        Moved,      // a picture is current
        LoadFolder, // list the folder at folderIndex, then call folderLoaded()
        EndOfShow,  // a forward search ran past the last folder with Loop off
        NoPictures, // no folder has pictures (start-up), or a full pass found none
    };

    explicit SlideNavigator(ViewerState& state) : state_(state) {}

    // Start-up: enters the folders from the first on until one has pictures. With none, the
    // outcome is NoPictures and folderIndex is past the last folder.
    Outcome findFirstFolder();

    // One move in the direction of `key` (an arrow key code; any other code moves nothing).
    // `loop` and `autoNext` are the Loop and Auto switches as booleans.
    Outcome move(std::int16_t key, bool loop, bool autoNext);

    // Goes on after the folder asked for by LoadFolder has been listed.
    Outcome folderLoaded();

    // The index of the file that the next move in the direction of `key` shows, when that move
    // stays within the current folder (Left and Right, the wrap to the folder's other end
    // included); -1 when it leaves the folder or moves nothing.
    int nextFileWithinFolder(std::int16_t key, bool autoNext) const;

private:
    // The folder search under way: at start-up, or a move between folders.
    struct Search {
        bool startUp = false;
        int direction = +1;
        bool loop = false;
        int visited = 0;
    };

    Outcome searchFolder(int direction, bool loop);
    Outcome nextFolder();

    ViewerState& state_;
    Search search_;
};

} // namespace orlix
