#pragma once

#include <QImage>
#include <QRect>

#include <utility>

namespace orlix::test {

// Screen shots (RGB32 images, compared as opaque colours):
// where two shots differ, leaving out the pixels that are white in `ignored`;
QRect changedArea(const QImage& before, const QImage& after, const QImage& ignored = QImage());
// where the pixels are not `colour`;
QRect areaNot(const QImage& image, QRgb colour);
// where the pixels of `colour` are, and whether that whole rectangle is of that colour.
std::pair<QRect, bool> solidArea(const QImage& image, QRgb colour);
// Paints white into `mask` where `shot` differs from `reference`.
void markChanges(const QImage& reference, const QImage& shot, QImage& mask);

} // namespace orlix::test
