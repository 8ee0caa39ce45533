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

std::int32_t computeViewHeight(int scaleHeight, int guideLabelHeight, bool guideOn) {
    if (!guideOn)
        return scaleHeight;
    return roundHalfEven(static_cast<double>(scaleHeight) - 2.0 * guideLabelHeight - 100.0);
}

FitBox fitBoxOf(const ViewParams& view) {
    return FitBox{view.scaleWidth, view.viewHeight, view.devicePixelRatio};
}

double twipsPerPicturePixel(const ViewParams& view) {
    return fitBoxOf(view).twipsPerPixel();
}

PicturePlacement placementFor(const ViewParams& view, QSize pixelSize) {
    return fitBoxOf(view).placementFor(pixelSize);
}

QSize deviceFitBox(const ViewParams& view) {
    if (view.realSize)
        return QSize();
    return fitBoxOf(view).deviceBox();
}

bool fitsUnscaled(const ViewParams& view, QSize pixelSize) {
    return fitBoxOf(view).fitsUnscaled(pixelSize);
}

FrameParams frameParamsFor(const ViewParams& view, const PicturePlacement& placement,
                           QSize pixelSize, int offsetX, int offsetY) {
    const double ratio = view.devicePixelRatio;
    const auto device = [ratio](double logical) {
        return static_cast<int>(std::lround(logical * ratio));
    };
    FrameParams params;
    params.deviceSize = fitBoxOf(view).deviceSizeOf(placement);
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
    return SizeRequest{deviceFitBox(view), view.displayProfile, FramePlan(view, offsetX, offsetY),
                       view.realSize ? FitBox() : fitBoxOf(view)};
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
