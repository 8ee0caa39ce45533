#pragma once

#include <QString>

#include <array>

namespace orlix {

// The key guide: 13 labels in two rows along the bottom edge of the window, and the file-name
// label in the bottom-right corner beside the lower row. Lengths are twips.
class GuideLayout {
public:
    static constexpr int kLabelCount = 13;
    static constexpr int kFirstLowerLabel = 6;
    static constexpr int kAutoLabel = 12;

    // The caption of guide label `index`.
    static QString caption(int index);

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

    // Lays the rows out from the left edge without gaps: labels 0 to 5 two text lines above
    // the bottom edge, 6 to 12 one line above it (the row height is label 6's).
    GuideLayout(int scaleWidth, int scaleHeight, const std::array<Measured, kLabelCount>& labels,
                int fileNameHeight);

    Place label(int index) const { return places_.at(index); }
    int fileNameLeft() const { return fileNameLeft_; }
    int fileNameTop() const { return fileNameTop_; }
    int fileNameWidth() const { return fileNameWidth_; }

private:
    std::array<Place, kLabelCount> places_{};
    int fileNameLeft_ = 0;
    int fileNameTop_ = 0;
    int fileNameWidth_ = 0;
};

} // namespace orlix
