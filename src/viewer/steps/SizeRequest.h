#pragma once

#include "core/FitGeometry.h"
#include "viewer/steps/FramePlan.h"

#include <QByteArray>
#include <QSize>

namespace orlix {

// What a slide step asks of a picture, decided once by the step from its view: a decode
// fitted into `fitInto` device pixels (empty: the whole picture) in the colours of the display
// whose ICC profile is `displayProfile` (empty: sRGB), and its frame as `frames` makes it.
// A fitted view also names its `frameBox`, so that a decoder can shrink a picture straight to
// the frame `frames` gives it (empty at real size).
struct SizeRequest {
    QSize fitInto;
    QByteArray displayProfile;
    FramePlan frames;
    FitBox frameBox = {};

    bool operator==(const SizeRequest& other) const {
        return fitInto == other.fitInto && displayProfile == other.displayProfile &&
               frames == other.frames && frameBox == other.frameBox;
    }
    bool operator!=(const SizeRequest& other) const { return !(*this == other); }
};

} // namespace orlix
