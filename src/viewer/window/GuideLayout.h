#pragma once

#include "viewer/steps/GuideLabel.h"

#include <QString>

#include <array>

namespace orlix {

// The key guide: 13 labels in two rows along the bottom edge of the window, and the file-name
// label in the bottom-right corner beside the lower row. Lengths are twips.
class GuideLayout {
public:
    // The caption of a guide label.
    static QString caption(GuideLabel label);

    // What was measured of one label: its height while it held no caption yet (one text
    // line) and its width once sized to its caption.
    struct Measured {
        int heightBefore = 0;
        int widthAfter = 0;
    };

    struct Place {
        int left = 0;
        int top = 0;
    };

    // Lays the rows out from the left edge without gaps: the upper row two text lines above
    // the bottom edge, the lower one a line above it (the row height is its first label's).
    // `labels` are in the order of their indexes.
    GuideLayout(int scaleWidth, int scaleHeight,
                const std::array<Measured, kGuideLabelCount>& labels, int fileNameHeight);

    Place label(GuideLabel label) const { return places_.at(guideIndex(label)); }
    int fileNameLeft() const { return fileNameLeft_; }
    int fileNameTop() const { return fileNameTop_; }
    int fileNameWidth() const { return fileNameWidth_; }

private:
    std::array<Place, kGuideLabelCount> places_{};
    int fileNameLeft_ = 0;
    int fileNameTop_ = 0;
    int fileNameWidth_ = 0;
};

} // namespace orlix
