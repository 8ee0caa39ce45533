#pragma once

#include "viewer/window/GuideLayout.h"

#include <QString>

#include <array>
#include <cstdint>

class QLabel;
class QWidget;

namespace orlix {

// The viewer's text, children of its window: the two rows of the key guide (LabGuide) and
// the caption at the bottom right (LabFileName).
class ViewerLabels {
public:
    explicit ViewerLabels(QWidget* window);

    // Lays the labels out for a screen of scaleWidth x scaleHeight twips: every label white,
    // the guide shown when `guideOn`, the caption hidden and empty.
    void layOut(int scaleWidth, int scaleHeight, bool guideOn);
    // Shows or hides the guide and the caption together.
    void setVisible(bool visible);
    // Recolours the guide for the switches (Settings values) and the show's direction.
    void repaint(std::int16_t realSize, std::int16_t guide, std::int16_t autoSwitch,
                 std::int16_t lastKey);
    // Turns a guide label green: its key was pressed.
    void mark(GuideLabel label);
    // The caption is white while the show runs and green while it is paused.
    void setPaused(bool paused);
    // Lines are separated by a carriage return, as in the caption the viewer writes.
    void setCaption(const QString& caption);

    // A guide label's height in twips: one text line of the viewer's font.
    int guideHeightTwips() const;

private:
    QLabel* guideLabel(GuideLabel label) const { return LabGuide.at(guideIndex(label)); }

    std::array<QLabel*, kGuideLabelCount> LabGuide{};
    QLabel* LabFileName = nullptr;
};

} // namespace orlix
