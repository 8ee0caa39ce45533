#include "viewer/GuideLayout.h"

#include "viewer/ViewGeometry.h"

namespace orlix {

QString GuideLayout::caption(int index) {
    static const char16_t* const kCaptions[kLabelCount] = {
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
    if (index < 0 || index >= kLabelCount)
        return QString();
    return QString::fromUtf16(kCaptions[index]);
}

GuideLayout::GuideLayout(int scaleWidth, int scaleHeight,
                         const std::array<Measured, kLabelCount>& labels, int fileNameHeight) {
    int x = 0;
    int rowOffset = 0;
    for (int i = 0; i < kLabelCount; ++i) {
        if (i == kFirstLowerLabel) {
            x = 0;
            rowOffset = roundHalfEven(labels[kFirstLowerLabel].heightBefore);
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
