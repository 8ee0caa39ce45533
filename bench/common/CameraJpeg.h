#pragma once

#include "support/JpegWriter.h"

namespace orlix::bench {

// `image` as cameras write photos: through libjpeg's compressor, at the quality QImageWriter
// writes by default, with a restart marker at every MCU row.
inline QByteArray withRestartMarkers(const QImage& image) {
    return test::writeJpeg(image, test::kCameraJpeg);
}

} // namespace orlix::bench
