#pragma once

#include "core/FitGeometry.h"
#include "viewer/steps/FrameParams.h"
#include "viewer/steps/SizeRequest.h"

#include <QByteArray>
#include <QSize>
#include <QString>

#include <cstdint>

namespace orlix {

// The arithmetic of placing a picture on the viewer window. All lengths are twips; a widget
// reports its position and size in whole logical pixels, 15 twips each.

// Rounds to the nearest whole number, halves to the even one.
std::int32_t roundHalfEven(double value);

// The height the picture may use: the window's inner height, less two guide rows and a
// 100-twip gap while the guide is on.
std::int32_t computeViewHeight(int scaleHeight, int guideLabelHeight, bool guideOn);

// What a picture is laid out and drawn for: the window's inner width, the height the picture
// may use (twips), the screen's device pixels per logical pixel, real size or fitted, and the
// display's colour profile (empty: sRGB). A picture prepared for one view is shown in another
// only after it is laid out again, and in other colours only after it is decoded again.
struct ViewParams {
    int scaleWidth = 0;
    int viewHeight = 0;
    double devicePixelRatio = 1.0;
    bool realSize = false;
    QByteArray displayProfile;

    bool operator==(const ViewParams& other) const {
        return scaleWidth == other.scaleWidth && viewHeight == other.viewHeight &&
               devicePixelRatio == other.devicePixelRatio && realSize == other.realSize &&
               displayProfile == other.displayProfile;
    }
    bool operator!=(const ViewParams& other) const { return !(*this == other); }
};

// The box fitted pictures go into in `view`.
FitBox fitBoxOf(const ViewParams& view);

// Twips per pixel of the picture: one picture pixel is one device pixel.
double twipsPerPicturePixel(const ViewParams& view);

// PicView's place for a picture of `pixelSize` (upright, whole) in `view`.
PicturePlacement placementFor(const ViewParams& view, QSize pixelSize);

// The box, in device pixels, that a picture is fitted into in `view`, rounded up; empty at
// real size, where the whole picture is wanted.
QSize deviceFitBox(const ViewParams& view);

// Whether the picture fits the view unscaled, so that it is drawn one pixel per device pixel.
bool fitsUnscaled(const ViewParams& view, QSize pixelSize);

// The frame for a picture of `pixelSize` (upright, whole) placed at `placement` in `view` and
// panned to (offsetX, offsetY) twips. The pan counts only at real size; a picture that fits
// unscaled is drawn one pixel per device pixel and never resampled.
FrameParams frameParamsFor(const ViewParams& view, const PicturePlacement& placement,
                           QSize pixelSize, int offsetX, int offsetY);

// What a step laid out in `view`, panned by (offsetX, offsetY) twips, asks of its pictures.
SizeRequest sizeRequestFor(const ViewParams& view, std::int32_t offsetX, std::int32_t offsetY);

// The scale shown in the caption, in percent, truncated; 100 for a picture drawn unscaled (at
// real size, or fitting as it is), also where its placed width in twips was rounded below `bw`
// because a picture pixel is not a whole number of screen units (fractional scaling).
int scalePercent(bool unscaled, int viewWidth, double bw);

// The two-line caption: the path, a carriage return, then " (Size <w>X<h> <scale>%)".
QString pictureCaption(const QString& path, int pixelWidth, int pixelHeight, int percent);

} // namespace orlix
