#include "viewer/steps/DecodedPicture.h"

namespace orlix {

bool DecodedPicture::serves(const ViewParams& view) const {
    // Its colours are those of the display it was decoded for.
    if (!ok() || view.displayProfile != this->view.displayProfile)
        return false;
    if (eighths == DecodeResult::kWhole)
        return true;
    if (view.realSize || fitsUnscaled(view, pixelSize))
        return false;
    const FrameParams params = frameParamsFor(view, placementFor(view, pixelSize), pixelSize, 0, 0);
    return image.width() >= params.deviceSize.width() &&
           image.height() >= params.deviceSize.height();
}

platform::FileIdentity DecodedPicture::identity() const {
    return file ? file->identity() : platform::FileIdentity();
}

} // namespace orlix
