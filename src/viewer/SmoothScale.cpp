#include "viewer/SmoothScale.h"

#include <QColorSpace>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <system_error>
#include <thread>

namespace orlix {

namespace {

// Below this many pixels of result a second thread costs about what it saves.
constexpr qint64 kPixelsWorthTwoThreads = 256 * 1024;

QImage scaledOnce(const QImage& picture, QSize size) {
    return picture.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

// The rows [from, from + count) of `picture`, without a copy, read-only.
QImage rowsOf(const QImage& picture, int from, int count) {
    return QImage(picture.constScanLine(from), picture.width(), count, picture.bytesPerLine(),
                  picture.format());
}

} // namespace

QImage smoothScaled(const QImage& picture, QSize size) {
    const QImage::Format format = picture.format();
    const bool plainPixels = format == QImage::Format_RGB32 || format == QImage::Format_ARGB32 ||
                             format == QImage::Format_ARGB32_Premultiplied;
    const bool shrinking = size.width() <= picture.width() && size.height() < picture.height();
    if (!plainPixels || !shrinking || size.height() < 2 ||
        qint64(size.width()) * size.height() < kPixelsWorthTwoThreads)
        return scaledOnce(picture, size);

    const int upperRows = size.height() / 2;
    const int upperSource = std::clamp(
        static_cast<int>(std::lround(double(upperRows) * picture.height() / size.height())), 1,
        picture.height() - 1);
    QImage lower;
    std::thread second;
    try {
        second = std::thread([&] {
            lower = scaledOnce(rowsOf(picture, upperSource, picture.height() - upperSource),
                               QSize(size.width(), size.height() - upperRows));
        });
    } catch (const std::system_error&) {
        return scaledOnce(picture, size); // no thread to be had
    }
    const QImage upper =
        scaledOnce(rowsOf(picture, 0, upperSource), QSize(size.width(), upperRows));
    second.join();
    if (upper.isNull() || lower.isNull() || upper.format() != lower.format())
        return scaledOnce(picture, size);
    QImage joined(size, upper.format());
    if (joined.isNull())
        return QImage();
    const auto rowBytes =
        static_cast<std::size_t>(std::min(joined.bytesPerLine(), upper.bytesPerLine()));
    for (int y = 0; y < size.height(); ++y) {
        const QImage& from = y < upperRows ? upper : lower;
        std::memcpy(joined.scanLine(y), from.constScanLine(y < upperRows ? y : y - upperRows),
                    rowBytes);
    }
    joined.setColorSpace(picture.colorSpace());
    return joined;
}

} // namespace orlix
