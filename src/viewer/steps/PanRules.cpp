#include "viewer/steps/PanRules.h"

#include "viewer/steps/KeyCodes.h"
#include "viewer/steps/ViewGeometry.h"

#include <algorithm>

namespace orlix {

namespace {
double step(int screenLength) {
    return 0.1 * screenLength;
}
} // namespace

std::int32_t panBack(std::int32_t offset, int screenLength) {
    return std::max<std::int32_t>(0, roundHalfEven(offset - step(screenLength)));
}

std::int32_t panForward(std::int32_t offset, int screenLength, double pictureLength,
                        int viewLength) {
    const std::int32_t candidate = roundHalfEven(offset + step(screenLength));
    if (pictureLength - candidate > viewLength)
        return candidate;
    // The view can come out a pixel larger than a picture that fits it (pixel rounding on a
    // fractional device pixel ratio); the offset stays at 0 then.
    return std::max<std::int32_t>(0, roundHalfEven(pictureLength - viewLength));
}

void panByKey(std::int16_t arrow, const PanArea& area, std::int32_t& offsetX,
              std::int32_t& offsetY) {
    switch (arrow) {
    case keycode::kUp:
        offsetY = panBack(offsetY, area.screenHeight);
        break;
    case keycode::kDown:
        offsetY = panForward(offsetY, area.screenHeight, area.pictureHeight, area.viewHeight);
        break;
    case keycode::kLeft:
        offsetX = panBack(offsetX, area.screenWidth);
        break;
    case keycode::kRight:
        offsetX = panForward(offsetX, area.screenWidth, area.pictureWidth, area.viewWidth);
        break;
    default:
        break;
    }
}

} // namespace orlix
