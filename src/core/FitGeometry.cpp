#include "core/FitGeometry.h"

#include "core/Twips.h"

#include <cmath>

namespace orlix {

int asPlacedTwips(double twips) {
    return twipsToPixels(twips) * kTwipsPerPixel;
}

FitSize fitPicture(double sw, double vh, double bw, double bh) {
    FitSize size;
    if (bw <= 0 || bh <= 0)
        return size;
    if (sw < bw || bh > vh) {
        const float rw = static_cast<float>(sw / bw);
        const float rh = static_cast<float>(vh / bh);
        if (rh > rw) {
            size.width = static_cast<float>(sw / bw * bw);
            size.height = static_cast<float>(sw / bw * bh);
        } else {
            size.width = static_cast<float>(vh / bh * bw);
            size.height = static_cast<float>(vh / bh * bh);
        }
    } else {
        size.width = static_cast<float>(bw);
        size.height = static_cast<float>(bh);
    }
    return size;
}

PicturePlacement placePicture(int scaleWidth, int viewHeight, double bw, double bh) {
    const FitSize fit = fitPicture(scaleWidth, viewHeight, bw, bh);
    PicturePlacement placed;
    placed.width = asPlacedTwips(fit.width);
    placed.height = asPlacedTwips(fit.height);
    placed.left = asPlacedTwips((static_cast<double>(scaleWidth) - placed.width) / 2.0);
    placed.top = asPlacedTwips((static_cast<double>(viewHeight) - placed.height) / 2.0);
    return placed;
}

double FitBox::twipsPerPixel() const {
    return kTwipsPerPixel / (devicePixelRatio > 0 ? devicePixelRatio : 1.0);
}

PicturePlacement FitBox::placementFor(QSize pixelSize) const {
    const double twips = twipsPerPixel();
    return placePicture(scaleWidth, viewHeight, pixelSize.width() * twips,
                        pixelSize.height() * twips);
}

bool FitBox::fitsUnscaled(QSize pixelSize) const {
    const double twips = twipsPerPixel();
    return pixelSize.width() * twips <= scaleWidth && pixelSize.height() * twips <= viewHeight;
}

QSize FitBox::deviceBox() const {
    const double twips = twipsPerPixel();
    return QSize(static_cast<int>(std::ceil(scaleWidth / twips)),
                 static_cast<int>(std::ceil(viewHeight / twips)));
}

QSize FitBox::deviceSizeOf(const PicturePlacement& placement) const {
    const auto device = [ratio = devicePixelRatio](double logical) {
        return static_cast<int>(std::lround(logical * ratio));
    };
    return QSize(device(twipsToPixels(placement.width)), device(twipsToPixels(placement.height)));
}

} // namespace orlix
