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
    const FrameParams frame = frameParamsFor(view, placement_, size, offsetX, offsetY);
    const int percent = scalePercent(frame.unscaled, placement_.width, pictureWidth_);
    return Shown{placement_, frame,
                 pictureCaption(picture.path, size.width(), size.height(), percent)};
}

void StepLayout::pan(std::int16_t arrow, std::int32_t& offsetX, std::int32_t& offsetY) const {
    const PanArea area{screen_.widthTwips, screen_.heightTwips, pictureWidth_,
                       pictureHeight_,     placement_.width,    placement_.height};
    panByKey(arrow, area, offsetX, offsetY);
}

} // namespace orlix
