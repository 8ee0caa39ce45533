#include "viewer/steps/FramePlan.h"

#include "viewer/steps/ViewGeometry.h"

#include <utility>

namespace orlix {

// The geometry a plan frames pictures by: the view's layout without its colours, and the pan,
// which counts only at real size.
struct FramePlan::Layout {
    ViewParams view;
    std::int32_t offsetX = 0;
    std::int32_t offsetY = 0;

    bool operator==(const Layout& other) const {
        return view == other.view && offsetX == other.offsetX && offsetY == other.offsetY;
    }
};

FramePlan::FramePlan(const ViewParams& view, std::int32_t offsetX, std::int32_t offsetY) {
    Layout layout{view, view.realSize ? offsetX : 0, view.realSize ? offsetY : 0};
    layout.view.displayProfile.clear();
    layout_ = std::make_shared<const Layout>(std::move(layout));
}

FrameParams FramePlan::frameFor(QSize pixelSize) const {
    if (!layout_)
        return FrameParams();
    const ViewParams& view = layout_->view;
    return frameParamsFor(view, placementFor(view, pixelSize), pixelSize, layout_->offsetX,
                          layout_->offsetY);
}

bool FramePlan::operator==(const FramePlan& other) const {
    if (!layout_ || !other.layout_)
        return layout_ == other.layout_;
    return layout_ == other.layout_ || *layout_ == *other.layout_;
}

} // namespace orlix
