#include "decode/process/DecoderProtocol.h"

namespace orlix {

bool PixelLayout::fits(std::int64_t available) const {
    if (width <= 0 || height <= 0 || format <= QImage::Format_Invalid ||
        format >= QImage::NImageFormats)
        return false;
    const int depth =
        static_cast<int>(QImage::toPixelFormat(static_cast<QImage::Format>(format)).bitsPerPixel());
    const std::int64_t rowBytes = (std::int64_t(width) * depth + 7) / 8;
    // QImage wants every row to start on a 32-bit boundary.
    if (bytesPerLine < rowBytes || bytesPerLine % 4 != 0)
        return false;
    return bytesPerLine <= available / height;
}

bool isHandedOverFormat(std::int32_t format) {
    return format == QImage::Format_RGB32 || format == QImage::Format_ARGB32;
}

} // namespace orlix
