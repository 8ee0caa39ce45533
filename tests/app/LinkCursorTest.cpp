#include "app/LinkCursor.h"

#include <QImage>
#include <gtest/gtest.h>

namespace orlix {
namespace {

bool isBlue(QRgb pixel) {
    return qAlpha(pixel) == 255 && qBlue(pixel) >= 128 && qRed(pixel) < 64 && qGreen(pixel) < 64;
}

bool isGrey(QRgb pixel) {
    return qAlpha(pixel) == 255 && qRed(pixel) == qGreen(pixel) && qGreen(pixel) == qBlue(pixel) &&
           qRed(pixel) > 64 && qRed(pixel) < 224;
}

TEST(LinkCursor, BlueArrowWithItsTipAtTheHotSpotAndAGreyShadowBelowRight) {
    const QImage image = drawLinkPointer().toImage().convertToFormat(QImage::Format_ARGB32);
    ASSERT_EQ(image.size(), QSize(kLinkPointerSize, kLinkPointerSize));

    const QRgb tip = image.pixel(kLinkPointerHotSpot);
    EXPECT_TRUE(isBlue(tip)) << "tip pixel " << std::hex << tip;

    int blue = 0;
    int grey = 0;
    int other = 0;
    QRect blueBounds;
    QRect greyBounds;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QRgb pixel = image.pixel(x, y);
            if (qAlpha(pixel) == 0)
                continue;
            if (isBlue(pixel)) {
                ++blue;
                blueBounds |= QRect(x, y, 1, 1);
            } else if (isGrey(pixel)) {
                ++grey;
                greyBounds |= QRect(x, y, 1, 1);
            } else {
                ++other;
            }
        }
    }
    // A pointer of solid colours: blue arrow, grey shadow, nothing half-transparent or stray.
    EXPECT_GT(blue, 100);
    EXPECT_GT(grey, 20);
    EXPECT_EQ(other, 0);
    // Pointing up and to the left: the tip is the arrow's top-left corner, and the arrow is
    // taller than it is wide, as an arrow pointer is.
    EXPECT_EQ(blueBounds.topLeft(), kLinkPointerHotSpot);
    EXPECT_GT(blueBounds.height(), blueBounds.width());
    // The shadow lies below and to the right of the arrow and stays inside the picture.
    EXPECT_GT(greyBounds.left(), blueBounds.left());
    EXPECT_GT(greyBounds.top(), blueBounds.top());
    EXPECT_GT(greyBounds.bottom(), blueBounds.bottom());
    EXPECT_GT(greyBounds.right(), blueBounds.right());
    EXPECT_TRUE(image.rect().contains(greyBounds));
    // The far corners stay see-through.
    for (const QPoint corner : {QPoint(31, 0), QPoint(31, 31), QPoint(0, 31)})
        EXPECT_EQ(qAlpha(image.pixel(corner)), 0) << corner.x() << "," << corner.y();
}

TEST(LinkCursor, IsABitmapCursorWithTheTipAsHotSpot) {
    const QCursor cursor = linkCursor();
    EXPECT_EQ(cursor.shape(), Qt::BitmapCursor);
    EXPECT_EQ(cursor.hotSpot(), kLinkPointerHotSpot);
    EXPECT_EQ(cursor.pixmap().size(), QSize(32, 32));
    EXPECT_EQ(cursor.pixmap().toImage().convertToFormat(QImage::Format_ARGB32),
              drawLinkPointer().toImage().convertToFormat(QImage::Format_ARGB32));
}

} // namespace
} // namespace orlix
