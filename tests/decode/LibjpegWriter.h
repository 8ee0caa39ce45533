#pragma once

#include <QByteArray>
#include <QImage>
#include <QSize>

#include <cstdio> // jpeglib.h needs FILE

#include <jpeglib.h>

namespace orlix::test {

// Restart markers as libjpeg's compressor places them: every `rows` MCU rows, or else every
// `mcus` MCUs; none when both are 0.
struct Restarts {
    int rows = 0;
    int mcus = 0;
};

// JPEGs written by libjpeg itself, in colour spaces and shapes Qt's writer does not make.
class LibjpegWriter {
public:
    // `image` in `space` (grey, YCbCr, RGB, CMYK or YCCK). CMYK is written as Adobe writes it,
    // inverted, with the picture's red, green and blue as the stored C, M and Y and no black.
    static QByteArray write(const QImage& image, J_COLOR_SPACE space, bool progressive = false,
                            Restarts restarts = {});

    // `jpeg` with a frame header that claims `size`, its data left as it is.
    static QByteArray withFrameSize(QByteArray jpeg, QSize size);

    // A grey progressive picture of `size` made of `scans` empty DC scans: little to read,
    // much to decode.
    static QByteArray scanBomb(QSize size, int scans);
};

} // namespace orlix::test
