#include "app/LinkCursor.h"

#include <QImage>
#include <gtest/gtest.h>

namespace orlix {
namespace {

TEST(LinkCursor, BlueArrowWithItsTipAtTheHotSpotAndAGreyShadowBelowRight) {
    const QImage image = drawLinkPointer().toImage().convertToFormat(QImage::Format_ARGB32);
    ASSERT_EQ(image.size(), QSize(kLinkPointerSize, kLinkPointerSize));

    QRect blue;
    QRect grey;
    int other = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QColor pixel = image.pixelColor(x, y);
            if (pixel.alpha() == 0)
                continue;
            const bool solid = pixel.alpha() == 255;
            if (solid && pixel.blue() >= 128 && pixel.red() < 64 && pixel.green() < 64)
                blue |= QRect(x, y, 1, 1);
            else if (solid && pixel.red() == pixel.green() && pixel.green() == pixel.blue())
                grey |= QRect(x, y, 1, 1);
            else
                ++other; // half-transparent or stray colours
        }
    }
    EXPECT_EQ(other, 0);
    // Pointing up and to the left: the tip, the hot spot, is the arrow's top-left corner, and
    // the arrow is taller than wide.
    EXPECT_EQ(blue.topLeft(), kLinkPointerHotSpot);
    EXPECT_GT(blue.height(), blue.width());
    EXPECT_GT(blue.width(), 10);
    // The shadow lies below and to the right of the arrow, inside the picture.
    EXPECT_GT(grey.left(), blue.left());
    EXPECT_GT(grey.top(), blue.top());
    EXPECT_GT(grey.bottom(), blue.bottom());
    EXPECT_GT(grey.right(), blue.right());
    EXPECT_TRUE(image.rect().contains(grey));
    EXPECT_EQ(image.pixelColor(31, 0).alpha(), 0);
}

} // namespace
} // namespace orlix
