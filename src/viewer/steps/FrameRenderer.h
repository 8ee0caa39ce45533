#pragma once

#include "viewer/steps/ViewGeometry.h"

#include <QImage>
#include <QPoint>
#include <QRect>
#include <QSize>

namespace orlix {

// The part of a picture that a real-size view shows: `source` (in the picture) is copied
// to `target` (in the view); the rest of the view lies beyond the picture's edge. Both are
// empty when the window misses the picture altogether.
struct RealSizeCopy {
    QRect source;
    QPoint target;
};

// The view of `viewSize` whose top-left corner lies at `origin` in a picture of
// `pictureSize`, cut to the picture so that nothing outside its pixels is read.
RealSizeCopy clampToPicture(const QSize& pictureSize, const QPoint& origin, const QSize& viewSize);

// How PicView's frame is made, in device pixels: the whole picture scaled to `deviceSize`, or,
// `unscaled`, the full-resolution picture one pixel per device pixel from `origin` on.
struct FrameParams {
    QSize deviceSize;
    bool unscaled = false;
    QPoint origin;

    bool operator==(const FrameParams& other) const {
        return deviceSize == other.deviceSize && unscaled == other.unscaled &&
               origin == other.origin;
    }
};

// The frame for a picture of `pixelSize` (upright, whole) placed at `placement` in `view` and
// panned to (offsetX, offsetY) twips. The pan counts only at real size; a picture that fits
// unscaled is drawn one pixel per device pixel and never resampled.
FrameParams frameParamsFor(const ViewParams& view, const PicturePlacement& placement,
                           QSize pixelSize, int offsetX, int offsetY);

// Makes the image PicView paints, in device pixels, and keeps it: the same request again
// (same picture, mode, size and position) returns the kept image without any work, so a
// redraw never scales the full picture again when nothing has changed.
class FrameRenderer {
public:
    // The whole picture scaled to `deviceSize`, area-averaged when shrinking.
    const QImage& fitted(const QImage& picture, const QSize& deviceSize);

    // The picture unscaled, one picture pixel per device pixel, from `origin` on; what lies
    // beyond the picture's edge is black.
    const QImage& realSize(const QImage& picture, const QPoint& origin, const QSize& deviceSize);

    // The frame `params` asks for. `picture` is the whole picture, at full resolution when the
    // frame is unscaled, possibly reduced otherwise.
    const QImage& render(const QImage& picture, const FrameParams& params);

    // Keeps `frame`, made elsewhere for `picture` and `params`, as if render() had made it.
    void adopt(const QImage& picture, const FrameParams& params, const QImage& frame);

    // Drops the kept image (for example when the picture is replaced).
    void clear();

    // How many frames were actually made: for checking that redraws reuse the kept one.
    int framesMade() const { return framesMade_; }

private:
    struct Request {
        qint64 picture = 0;
        bool realSize = false;
        QSize size;
        QPoint origin;
        bool operator==(const Request& other) const {
            return picture == other.picture && realSize == other.realSize && size == other.size &&
                   origin == other.origin;
        }
    };

    bool reuse(const Request& request) const { return !frame_.isNull() && request == made_; }

    Request made_;
    QImage frame_;
    int framesMade_ = 0;
};

} // namespace orlix
