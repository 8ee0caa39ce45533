#include "viewer/steps/GuideColours.h"

#include "viewer/steps/KeyActions.h"

namespace orlix {

GuideTextColours repaintedGuide(const GuideTextColours& current, std::int16_t realSize,
                                std::int16_t guide, std::int16_t autoSwitch, std::int16_t lastKey) {
    GuideTextColours colours = current;
    const std::optional<GuideLabel> direction = directionLabel(lastKey);
    const int kept = direction ? guideIndex(*direction) : -1;
    for (int i = 0; i < static_cast<int>(colours.size()); ++i) {
        if ((i == guideIndex(GuideLabel::RealSize) && realSize == 1) ||
            (i == guideIndex(GuideLabel::Guide) && guide == 1))
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
