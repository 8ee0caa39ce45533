#pragma once

#include "viewer/steps/FramePlan.h"

#include <QByteArray>
#include <QSize>

namespace orlix {

// What a slide step asks of a picture, decided once by the step from its view: a decode
// fitted into `fitInto` device pixels (empty: the whole picture) in the colours of the display
// whose ICC profile is `displayProfile` (empty: sRGB), and its frame as `frames` makes it.
struct SizeRequest {
    QSize fitInto;
    QByteArray displayProfile;
    FramePlan frames;

    bool operator==(const SizeRequest& other) const {
        return fitInto == other.fitInto && displayProfile == other.displayProfile &&
               frames == other.frames;
    }
    bool operator!=(const SizeRequest& other) const { return !(*this == other); }
};

} // namespace orlix
