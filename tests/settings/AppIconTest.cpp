#include "core/AppIcon.h"

#include <QImage>
#include <gtest/gtest.h>

namespace orlix {
namespace {

TEST(AppIcon, DrawsADarkPupilOnAWhiteEyeballAtBothSizes) {
    const QPixmap pixmap = appIconPixmap();
    EXPECT_EQ(pixmap.deviceIndependentSize().toSize(), QSize(32, 32));
    const QImage image = pixmap.toImage().scaled(32, 32);
    EXPECT_LT(image.pixelColor(16, 16).lightness(), 60);
    EXPECT_GT(image.pixelColor(4, 16).lightness(), 200);
    // The small size is drawn, not scaled down: the 16-pixel picture keeps its pupil.
    const QIcon icon = appIcon();
    EXPECT_TRUE(icon.availableSizes().contains(QSize(16, 16)));
    EXPECT_LT(icon.pixmap(QSize(16, 16)).toImage().pixelColor(8, 8).lightness(), 80);
}

} // namespace
} // namespace orlix
