#include "viewer/GuideColours.h"

#include "viewer/KeyCodes.h"

namespace orlix {

namespace {
constexpr int kRealSizeLabel = 10;
constexpr int kGuideLabel = 11;
} // namespace

int directionLabel(std::int16_t key) {
    switch (key) {
    case keycode::kUp:
        return 2;
    case keycode::kDown:
        return 3;
    case keycode::kLeft:
        return 4;
    case keycode::kRight:
        return 5;
    default:
        return -1;
    }
}

GuideTextColours repaintedGuide(const GuideTextColours& current, std::int16_t realSize,
                                std::int16_t guide, std::int16_t autoSwitch, std::int16_t lastKey) {
    GuideTextColours colours = current;
    const int kept = directionLabel(lastKey);
    for (int i = 0; i < static_cast<int>(colours.size()); ++i) {
        if ((i == kRealSizeLabel && realSize == 1) || (i == kGuideLabel && guide == 1))
            colours[i] = kGuideGreen;
        else if (autoSwitch != 0 || i != kept)
            colours[i] = kGuideWhite;
    }
    return colours;
}

AutoLabelLook autoLabelLook(std::int16_t autoSwitch) {
    if (autoSwitch != 0)
        return {true, kGuideGreen, kGuideBlack};
    return {false, kGuideBlack, kGuideBlack};
}

} // namespace orlix
