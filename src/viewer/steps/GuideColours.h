#pragma once

#include "viewer/steps/GuideLabel.h"

#include <QColor>

#include <array>
#include <cstdint>

namespace orlix {

// The three colours of the viewer's labels.
inline const QColor kGuideGreen(0x00, 0xFF, 0x00);
inline const QColor kGuideWhite(0xFF, 0xFF, 0xFF);
inline const QColor kGuideBlack(0x00, 0x00, 0x00);

// The key labels, Exit to Guide (every guide label but " Auto "), by their index.
using GuideTextColours = std::array<QColor, guideIndex(GuideLabel::Auto)>;

// The text colours of the key labels after the guide is repainted, from what they are now:
// RealSize and Guide green while on; with Auto off the label of the current direction
// (`lastKey`) keeps the colour it has; everything else white.
GuideTextColours repaintedGuide(const GuideTextColours& current, std::int16_t realSize,
                                std::int16_t guide, std::int16_t autoSwitch, std::int16_t lastKey);

// The " Auto " label: a green box with black text while Auto is on, invisible (black on a
// transparent background over the black window) while it is off.
struct AutoLabelLook {
    bool opaque = false;
    QColor background;
    QColor text;
};
AutoLabelLook autoLabelLook(std::int16_t autoSwitch);

} // namespace orlix
