#pragma once

#include "viewer/steps/FrameParams.h"

#include <QSize>

#include <cstdint>
#include <memory>

namespace orlix {

struct ViewParams;

// The frame a slide step shows a picture in, for whatever size the picture turns out to have:
// made by the step from its view, so that a frame can be made ahead, on the decoding thread,
// by code that knows nothing of the window's layout. A default plan frames nothing.
class FramePlan {
public:
    FramePlan() = default;
    // The frames of pictures laid out in `view`, panned by (offsetX, offsetY) twips at real
    // size (a fitted picture is never panned).
    FramePlan(const ViewParams& view, std::int32_t offsetX, std::int32_t offsetY);

    // The frame of a picture of `pixelSize` (upright, whole).
    FrameParams frameFor(QSize pixelSize) const;

    // Equal plans give every picture the same frame.
    bool operator==(const FramePlan& other) const;
    bool operator!=(const FramePlan& other) const { return !(*this == other); }

private:
    struct Layout;
    std::shared_ptr<const Layout> layout_;
};

} // namespace orlix
