#pragma once

#include <QImage>
#include <QSize>

#include <atomic>

namespace orlix {

namespace platform {
class PictureFile;
}

// Decodes a JPEG file with the reduction done inside the decoder: at 1/2, 1/4 or 1/8 the
// decoder skips most of the work, which is what makes a fitted photo appear quickly. It also
// stops at its next buffer when `cancelled` turns true, and prints nothing about damaged data.
class JpegReader {
public:
    enum class Outcome {
        Decoded,     // `image` holds the picture (a file cut short is shown as far as it goes)
        Unsupported, // not a JPEG this reader decodes (CMYK, for one): use another decoder
        Invalid,     // not a JPEG, or damaged beyond decoding
        ReadFailed,  // the file could not be read
        Cancelled,
    };

    JpegReader(const platform::PictureFile& file, const std::atomic<bool>& cancelled);

    // The largest reduction (1, 2, 4 or 8) whose decoded picture still covers `needed` pixels
    // for a picture of `storedSize` (as the file stores it, before any Exif turn; `quarterTurn`
    // when the picture is shown turned by a quarter, so that width and height trade places).
    static int reductionFor(QSize storedSize, bool quarterTurn, QSize needed);

    // The size a picture of `storedSize` decodes to at `reduction`.
    static QSize reducedSize(QSize storedSize, int reduction);

    // Decodes the whole picture, as stored (not turned), reduced by `reduction`, into an
    // RGB32 image.
    Outcome read(int reduction, QImage& image);

private:
    const platform::PictureFile& file_;
    const std::atomic<bool>& cancelled_;
};

} // namespace orlix
