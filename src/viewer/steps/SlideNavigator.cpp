#include "viewer/steps/SlideNavigator.h"

#include <algorithm>

namespace orlix {

SlideNavigator::Outcome SlideNavigator::findFirstFolder() {
    state_.folderIndex = -1;
    state_.lastFileIndex = -1;
    search_ = Search{true, +1, false, 0};
    return nextFolder();
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

SlideNavigator::Outcome SlideNavigator::folderLoaded() {
    return state_.lastFileIndex >= 0 ? Outcome::Moved : nextFolder();
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
    if (state_.folderList.empty())
        return Outcome::NoPictures;
    state_.lastFileIndex = -1;
    search_ = Search{false, direction, loop, 0};
    return nextFolder();
}

SlideNavigator::Outcome SlideNavigator::nextFolder() {
    const int folderCount = static_cast<int>(state_.folderList.size());
    if (search_.startUp) {
        if (state_.folderIndex >= folderCount - 1) {
            // Past the end (kept within int16: the list may hold 32768 folders).
            state_.folderIndex = static_cast<std::int16_t>(std::min(folderCount, 32767));
            return Outcome::NoPictures;
        }
        ++state_.folderIndex;
        return Outcome::LoadFolder;
    }
    // A folder whose pictures were all removed while the show ran must not make the search
    // go round for ever: one full pass (which ends back at the starting folder) is enough.
    if (search_.visited >= folderCount)
        return Outcome::NoPictures;
    ++search_.visited;
    int next = state_.folderIndex + search_.direction;
    if (next < 0) {
        next = folderCount - 1; // backwards always wraps
    } else if (next >= folderCount) {
        if (!search_.loop)
            return Outcome::EndOfShow;
        next = 0;
    }
    state_.folderIndex = static_cast<std::int16_t>(next);
    return Outcome::LoadFolder;
}

} // namespace orlix
