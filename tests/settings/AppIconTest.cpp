#include "app/AppIcon.h"

#include <QImage>
#include <gtest/gtest.h>

namespace orlix {
namespace {

TEST(AppIcon, PixmapIsThirtyTwoLogicalPixels) {
    const QPixmap pixmap = appIconPixmap();
    ASSERT_FALSE(pixmap.isNull());
    EXPECT_EQ(pixmap.deviceIndependentSize().toSize(), QSize(32, 32));
}

TEST(AppIcon, DrawsAnEyeWithADarkPupilOnAWhiteEyeball) {
    const QImage image = appIconPixmap().toImage().scaled(32, 32);
    const QColor pupil = image.pixelColor(16, 16);
    const QColor eyeWhite = image.pixelColor(4, 16);
    EXPECT_EQ(pupil.alpha(), 255);
    EXPECT_LT(pupil.lightness(), 60);
    EXPECT_GT(eyeWhite.lightness(), 200);
}

TEST(AppIcon, IconOffersTheSmallSizesDrawnNotScaled) {
    const QIcon icon = appIcon();
    ASSERT_FALSE(icon.isNull());
    const QList<QSize> sizes = icon.availableSizes();
    for (const QSize wanted : {QSize(16, 16), QSize(32, 32), QSize(256, 256)}) {
        EXPECT_TRUE(sizes.contains(wanted)) << wanted.width();
    }
    // The 16-pixel picture still has its pupil: the drawing was rendered at that size.
    const QImage small = icon.pixmap(QSize(16, 16)).toImage();
    EXPECT_LT(small.pixelColor(8, 8).lightness(), 80);
}

} // namespace
} // namespace orlix
