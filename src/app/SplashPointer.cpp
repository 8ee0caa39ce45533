#include "app/SplashPointer.h"

#include <climits>
#include <cmath>

namespace orlix {

int roundHalfToEven(double value) {
    if (std::isnan(value))
        return 0;
    if (value >= static_cast<double>(INT_MAX))
        return INT_MAX;
    if (value <= static_cast<double>(INT_MIN))
        return INT_MIN;
    // Decided by hand rather than by std::nearbyint, which follows whatever rounding mode the
    // floating-point environment happens to be in.
    const double below = std::floor(value);
    const double fraction = value - below;
    double rounded = below;
    if (fraction > 0.5 || (fraction == 0.5 && std::fmod(below, 2.0) != 0.0))
        rounded = below + 1.0;
    return static_cast<int>(rounded);
}

QPoint splashPointerPixel(const QPointF& windowTwips, const QRectF& linkTwips,
                          double twipsPerPixelX, double twipsPerPixelY) {
    const double x =
        (linkTwips.left() + windowTwips.x() + linkTwips.width() * 0.6) / twipsPerPixelX;
    const double y =
        (linkTwips.top() + windowTwips.y() + linkTwips.height() * 0.4) / twipsPerPixelY;
    return QPoint(roundHalfToEven(x), roundHalfToEven(y));
}

} // namespace orlix
