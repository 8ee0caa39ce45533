#include "viewer/steps/DecodedPicture.h"

namespace orlix {

bool DecodedPicture::serves(const SizeRequest& wanted) const {
    // Its colours are those of the display it was decoded for.
    if (!ok() || wanted.displayProfile != request.displayProfile)
        return false;
    if (eighths == DecodeResult::kWhole)
        return true;
    const FrameParams params = wanted.frames.frameFor(pixelSize);
    if (params.unscaled)
        return false;
    return image.width() >= params.deviceSize.width() &&
           image.height() >= params.deviceSize.height();
}

platform::FileIdentity DecodedPicture::identity() const {
    return file ? file->identity() : platform::FileIdentity();
}

} // namespace orlix
