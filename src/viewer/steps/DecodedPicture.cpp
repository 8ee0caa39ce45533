#include "viewer/steps/DecodedPicture.h"

namespace orlix {

bool DecodedPicture::serves(const SizeRequest& wanted) const {
    // Its colours are those of the display it was decoded for.
    if (!ok() || wanted.displayProfile != request.displayProfile)
        return false;
    const FrameParams params = wanted.frames.frameFor(pixelSize);
    if (image.isNull())
        return params == frameParams;
    if (eighths == DecodeResult::kWhole)
        return true;
    if (params.unscaled)
        return false;
    return image.width() >= params.deviceSize.width() &&
           image.height() >= params.deviceSize.height();
}

platform::FileIdentity DecodedPicture::identity() const {
    return file ? file->identity() : platform::FileIdentity();
}

std::shared_ptr<const DecodedPicture> DecodedPicture::keptAsFrame() const {
    if (!ok() || frame.isNull())
        return nullptr;
    auto kept = std::make_shared<DecodedPicture>(*this);
    kept->image = QImage();
    return kept;
}

} // namespace orlix
