#pragma once

#include <QImage>
#include <QRect>

#include <utility>

namespace orlix::test {

// Screen shots (RGB32 images, compared as opaque colours):
// where the pixels are not `colour`;
QRect areaNot(const QImage& image, QRgb colour);
// where the pixels of `colour` are, and whether that whole rectangle is of that colour.
std::pair<QRect, bool> solidArea(const QImage& image, QRgb colour);

} // namespace orlix::test
