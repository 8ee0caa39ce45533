#include "support/ShotAreas.h"

#include <algorithm>

namespace orlix::test {

namespace {

// The bounding rectangle of the pixels for which `chosen(x, y, rgb)` holds. QImage::pixel
// answers RGB32 pixels as opaque, whatever the server left in their unused byte.
template <typename Chosen> QRect areaWhere(const QImage& image, Chosen chosen) {
    int left = image.width(), top = image.height(), right = -1, bottom = -1;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (chosen(x, y, image.pixel(x, y))) {
                left = std::min(left, x);
                right = std::max(right, x);
                top = std::min(top, y);
                bottom = std::max(bottom, y);
            }
        }
    }
    return right < 0 ? QRect() : QRect(QPoint(left, top), QPoint(right, bottom));
}

} // namespace

QRect areaNot(const QImage& image, QRgb colour) {
    return areaWhere(image, [colour](int, int, QRgb rgb) { return rgb != colour; });
}

std::pair<QRect, bool> solidArea(const QImage& image, QRgb colour) {
    const QRect area = areaWhere(image, [colour](int, int, QRgb rgb) { return rgb == colour; });
    return {area, !area.isEmpty() && areaNot(image.copy(area), colour).isEmpty()};
}

} // namespace orlix::test
