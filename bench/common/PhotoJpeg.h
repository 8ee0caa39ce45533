#pragma once

#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <QImageWriter>

namespace orlix::bench {

// A picture of width x height with photo-like detail, so that decoding it does real work.
inline QImage photoImage(int width, int height) {
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < width; ++x)
            line[x] = qRgb((x * 7 + y) & 0xff, ((y * 3) ^ x) & 0xff, ((x * y) >> 5) & 0xff);
    }
    return image;
}

// `image` as a JPEG written by Qt.
inline QByteArray jpegOf(const QImage& image) {
    QByteArray out;
    QBuffer buffer(&out);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter(&buffer, "JPEG").write(image);
    return out;
}

// photoImage() as a JPEG written by Qt.
inline QByteArray photoJpeg(int width, int height) {
    return jpegOf(photoImage(width, height));
}

} // namespace orlix::bench
