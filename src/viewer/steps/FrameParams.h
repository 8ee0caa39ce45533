#pragma once

#include <QPoint>
#include <QSize>

namespace orlix {

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
    bool operator!=(const FrameParams& other) const { return !(*this == other); }
};

} // namespace orlix
