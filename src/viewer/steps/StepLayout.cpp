#include "viewer/steps/StepLayout.h"

#include "viewer/steps/PanRules.h"

namespace orlix {

std::int32_t StepLayout::viewHeight(int guideHeightTwips, bool guideOn) const {
    return computeViewHeight(screen_.heightTwips, guideHeightTwips, guideOn);
}

ViewParams StepLayout::view(std::int32_t viewHeight, bool realSize,
                            const QByteArray& displayProfile) const {
    return ViewParams{screen_.widthTwips, viewHeight, screen_.devicePixelRatio, realSize,
                      displayProfile};
}

StepLayout::Shown StepLayout::layOut(const DecodedPicture& picture, const ViewParams& view,
                                     std::int32_t offsetX, std::int32_t offsetY) {
    const QSize size = picture.pixelSize;
    const double twips = twipsPerPicturePixel(view);
    pictureWidth_ = size.width() * twips;
    pictureHeight_ = size.height() * twips;
    placement_ = placementFor(view, size);
    // A picture drawn at its own size is at 100%, also where a picture pixel is not a whole
    // number of screen units (fractional scaling) and the placed width is rounded below it.
    const bool ownSize = view.realSize || fitsUnscaled(view, size);
    const int percent = scalePercent(ownSize, placement_.width, pictureWidth_);
    return Shown{placement_, frameParamsFor(view, placement_, size, offsetX, offsetY),
                 pictureCaption(picture.path, size.width(), size.height(), percent)};
}

void StepLayout::pan(std::int16_t arrow, std::int32_t& offsetX, std::int32_t& offsetY) const {
    const PanArea area{screen_.widthTwips, screen_.heightTwips, pictureWidth_,
                       pictureHeight_,     placement_.width,    placement_.height};
    panByKey(arrow, area, offsetX, offsetY);
}

} // namespace orlix
