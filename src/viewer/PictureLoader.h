#pragma once

#include "viewer/LoadError.h"

#include <QImage>
#include <QSize>
#include <QString>

#include <cstdint>

namespace orlix {

// Decodes one picture file (BMP, JPEG, GIF, or anything else the decoder knows by content).
// The file is opened by descriptor so that names that are not valid UTF-8 open too; special
// files named like pictures (a FIFO, a device) are refused without being read.
class PictureLoader {
public:
    // Largest picture decoded: comfortably above 200 megapixels.
    static constexpr std::int64_t kMaxPixels = std::int64_t(256) * 1024 * 1024;
    // The decoder's own allocation ceiling in MB; must admit kMaxPixels at 8 bytes a pixel.
    static constexpr int kAllocationLimitMb = 2048;

    struct Result {
        QImage image; // upright, EXIF orientation applied; null on failure
        LoadError error = LoadError::None;
    };

    Result load(const QString& path) const;

    // Whether a picture of `size` (as its header gives it) is within kMaxPixels.
    static bool withinPixelLimit(const QSize& size);
};

} // namespace orlix
