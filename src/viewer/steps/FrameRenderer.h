#pragma once

#include "viewer/steps/FrameParams.h"

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
};

} // namespace orlix
