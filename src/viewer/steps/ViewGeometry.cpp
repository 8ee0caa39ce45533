#include "viewer/steps/ViewGeometry.h"

#include "platform/desktop/ScreenMetrics.h"

#include <cmath>

namespace orlix {

std::int32_t roundHalfEven(double value) {
    const double floor = std::floor(value);
    const double fraction = value - floor;
    double rounded = fraction < 0.5 ? floor : floor + 1.0;
    if (fraction == 0.5 && std::fmod(floor, 2.0) == 0.0)
        rounded = floor;
    return static_cast<std::int32_t>(rounded);
}

int asPlacedTwips(double twips) {
    return platform::twipsToPixels(twips) * platform::kTwipsPerPixel;
}

std::int32_t computeViewHeight(int scaleHeight, int guideLabelHeight, bool guideOn) {
    if (!guideOn)
        return scaleHeight;
    return roundHalfEven(static_cast<double>(scaleHeight) - 2.0 * guideLabelHeight - 100.0);
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

double twipsPerPicturePixel(const ViewParams& view) {
    return platform::kTwipsPerPixel / (view.devicePixelRatio > 0 ? view.devicePixelRatio : 1.0);
}

PicturePlacement placementFor(const ViewParams& view, QSize pixelSize) {
    const double twips = twipsPerPicturePixel(view);
    return placePicture(view.scaleWidth, view.viewHeight, pixelSize.width() * twips,
                        pixelSize.height() * twips);
}

QSize deviceFitBox(const ViewParams& view) {
    if (view.realSize)
        return QSize();
    const double twips = twipsPerPicturePixel(view);
    return QSize(static_cast<int>(std::ceil(view.scaleWidth / twips)),
                 static_cast<int>(std::ceil(view.viewHeight / twips)));
}

bool fitsUnscaled(const ViewParams& view, QSize pixelSize) {
    const double twips = twipsPerPicturePixel(view);
    return pixelSize.width() * twips <= view.scaleWidth &&
           pixelSize.height() * twips <= view.viewHeight;
}

FrameParams frameParamsFor(const ViewParams& view, const PicturePlacement& placement,
                           QSize pixelSize, int offsetX, int offsetY) {
    const double ratio = view.devicePixelRatio;
    const auto device = [ratio](double logical) {
        return static_cast<int>(std::lround(logical * ratio));
    };
    FrameParams params;
    params.deviceSize = QSize(device(platform::twipsToPixels(placement.width)),
                              device(platform::twipsToPixels(placement.height)));
    if (view.realSize) {
        params.unscaled = true;
        params.origin = QPoint(device(double(offsetX) / platform::kTwipsPerPixel),
                               device(double(offsetY) / platform::kTwipsPerPixel));
    } else {
        params.unscaled = fitsUnscaled(view, pixelSize);
    }
    return params;
}

SizeRequest sizeRequestFor(const ViewParams& view, std::int32_t offsetX, std::int32_t offsetY) {
    return SizeRequest{deviceFitBox(view), view.displayProfile, FramePlan(view, offsetX, offsetY)};
}

int scalePercent(bool unscaled, int viewWidth, double bw) {
    if (unscaled)
        return 100;
    if (bw <= 0)
        return 0;
    return static_cast<int>(std::trunc(static_cast<double>(viewWidth) * 100.0 / bw));
}

QString pictureCaption(const QString& path, int pixelWidth, int pixelHeight, int percent) {
    return path + QChar(u'\r') + QStringLiteral(" (Size ") + QString::number(pixelWidth) +
           QLatin1Char('X') + QString::number(pixelHeight) + QLatin1Char(' ') +
           QString::number(percent) + QStringLiteral("%)");
}

} // namespace orlix
