#include "viewer/window/GuideLayout.h"

#include "viewer/steps/ViewGeometry.h"

namespace orlix {

QString GuideLayout::caption(GuideLabel label) {
    static const char16_t* const kCaptions[kGuideLabelCount] = {
        u" Esc : Exit  ",
        u" Enter : Stop/Start  ",
        u" \u2191 : PreviousFolder  ",
        u" \u2193 : NextFolder  ",
        u" \u2190 : PreviousFile  ",
        u" \u2192 : NextFile  ",
        u" Shift+\u2191 : MoveUp  ",
        u" Shift+\u2193 : MoveDown  ",
        u" Shift+\u2190 : MoveLeft  ",
        u" Shift+\u2192 : MoveRight  ",
        u" Home : RealSize  ",
        u" Ctrl : Guide  ",
        u" Auto ",
    };
    return QString::fromUtf16(kCaptions[guideIndex(label)]);
}

GuideLayout::GuideLayout(int scaleWidth, int scaleHeight,
                         const std::array<Measured, kGuideLabelCount>& labels, int fileNameHeight) {
    const int firstLower = guideIndex(kFirstLowerLabel);
    int x = 0;
    int rowOffset = 0;
    for (int i = 0; i < kGuideLabelCount; ++i) {
        if (i == firstLower) {
            x = 0;
            rowOffset = roundHalfEven(labels[firstLower].heightBefore);
        }
        const int h = labels[i].heightBefore;
        places_[i].left = x;
        places_[i].top = scaleHeight - 2 * h + rowOffset;
        x = roundHalfEven(static_cast<double>(x) + labels[i].widthAfter);
    }
    fileNameLeft_ = x;
    fileNameWidth_ = scaleWidth - x;
    fileNameTop_ = scaleHeight - fileNameHeight;
}

} // namespace orlix
