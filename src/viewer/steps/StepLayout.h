#pragma once

#include "viewer/steps/DecodedPicture.h"
#include "viewer/steps/FrameParams.h"
#include "viewer/steps/ViewGeometry.h"

#include <QByteArray>
#include <QString>

#include <cstdint>

namespace orlix {

// The screen a show covers.
struct ShowScreen {
    int widthTwips = 0;
    int heightTwips = 0;
    double devicePixelRatio = 1.0;
};

// Where a slide step puts its picture on the screen: the view it lays it out in, PicView's
// place and frame, the caption, and the pan over a picture at real size. Lengths are twips.
class StepLayout {
public:
    explicit StepLayout(const ShowScreen& screen) : screen_(screen) {}

    // The height a step's picture may use: the screen's, clear of the guide while it is on.
    std::int32_t viewHeight(int guideHeightTwips, bool guideOn) const;
    // The view of a step: the screen's width, `viewHeight`, real size or fitted, and the
    // display's colour profile.
    ViewParams view(std::int32_t viewHeight, bool realSize, const QByteArray& displayProfile) const;

    // What a step shows its picture with: PicView's place, its frame and the caption.
    struct Shown {
        PicturePlacement placement;
        FrameParams frame;
        QString caption;
    };
    // Lays `picture` out in `view`, panned to (offsetX, offsetY); pan() then moves over it.
    Shown layOut(const DecodedPicture& picture, const ViewParams& view, std::int32_t offsetX,
                 std::int32_t offsetY);
    // PicView's place as last laid out.
    const PicturePlacement& placement() const { return placement_; }
    // A pan by a Shift+arrow key (its arrow's code) over the picture last laid out.
    void pan(std::int16_t arrow, std::int32_t& offsetX, std::int32_t& offsetY) const;

private:
    const ShowScreen screen_;
    PicturePlacement placement_;
    // The picture last laid out, at its real size.
    double pictureWidth_ = 0;
    double pictureHeight_ = 0;
};

} // namespace orlix
