#include "viewer/SlideNavigator.h"

#include <algorithm>
#include <utility>

namespace orlix {

SlideNavigator::SlideNavigator(ViewerState& state, FolderLoader loadFolderFiles)
    : state_(state), loadFolderFiles_(std::move(loadFolderFiles)) {}

bool SlideNavigator::findFirstFolder() {
    const int lastFolder = static_cast<int>(state_.folderList.size()) - 1;
    state_.folderIndex = -1;
    state_.lastFileIndex = -1;
    while (state_.lastFileIndex < 0) {
        if (state_.folderIndex >= lastFolder) {
            // Past the end (kept within int16: the list may hold 32768 folders).
            state_.folderIndex = static_cast<std::int16_t>(std::min(lastFolder + 1, 32767));
            return false;
        }
        ++state_.folderIndex;
        loadFolderFiles_();
    }
    return true;
}

SlideNavigator::Outcome SlideNavigator::move(std::int16_t key, bool loop, bool autoNext) {
    const int lastFile = static_cast<int>(state_.fileList.size()) - 1;
    switch (key) {
    case keycode::kUp:
        return searchFolder(-1, loop);
    case keycode::kDown:
        return searchFolder(+1, loop);
    case keycode::kLeft:
        if (state_.fileIndex - 1 < 0)
            state_.fileIndex = static_cast<std::int16_t>(lastFile < 0 ? 0 : lastFile);
        else
            --state_.fileIndex;
        return Outcome::Moved;
    case keycode::kRight:
        if (state_.fileIndex + 1 > lastFile) {
            if (autoNext)
                return searchFolder(+1, loop);
            state_.fileIndex = 0;
        } else {
            ++state_.fileIndex;
        }
        return Outcome::Moved;
    default:
        return Outcome::Moved;
    }
}

int SlideNavigator::nextFileWithinFolder(std::int16_t key, bool autoNext) const {
    const int lastFile = static_cast<int>(state_.fileList.size()) - 1;
    if (state_.lastFileIndex < 0 || lastFile < 0 || state_.fileIndex < 0 ||
        state_.fileIndex > lastFile)
        return -1;
    switch (key) {
    case keycode::kLeft:
        return state_.fileIndex - 1 < 0 ? lastFile : state_.fileIndex - 1;
    case keycode::kRight:
        if (state_.fileIndex + 1 <= lastFile)
            return state_.fileIndex + 1;
        return autoNext ? -1 : 0;
    default:
        return -1;
    }
}

SlideNavigator::Outcome SlideNavigator::searchFolder(int direction, bool loop) {
    const int folderCount = static_cast<int>(state_.folderList.size());
    if (folderCount == 0)
        return Outcome::NoPictures;
    state_.lastFileIndex = -1;
    // A folder whose pictures were all removed while the show ran must not make the search
    // go round for ever: one full pass (which ends back at the starting folder) is enough.
    for (int visited = 0; visited < folderCount; ++visited) {
        int next = state_.folderIndex + direction;
        if (next < 0) {
            next = folderCount - 1; // backwards always wraps
        } else if (next >= folderCount) {
            if (!loop)
                return Outcome::EndOfShow;
            next = 0;
        }
        state_.folderIndex = static_cast<std::int16_t>(next);
        loadFolderFiles_();
        if (state_.lastFileIndex >= 0)
            return Outcome::Moved;
    }
    return Outcome::NoPictures;
}

} // namespace orlix
