#include "viewer/FrameRenderer.h"

#include <gtest/gtest.h>

namespace orlix {
namespace {

TEST(ClampToPicture, NeverReachesOutsideThePicture) {
    const QSize picture(100, 50);
    const struct {
        QPoint origin;
        QSize view;
        QRect source;
        QPoint target;
    } cases[] = {
        {{10, 5}, {40, 20}, {10, 5, 40, 20}, {0, 0}},   // inside
        {{80, 0}, {40, 20}, {80, 0, 20, 20}, {0, 0}},   // past the right edge
        {{0, 40}, {40, 20}, {0, 40, 40, 10}, {0, 0}},   // past the lower edge
        {{0, 0}, {300, 200}, {0, 0, 100, 50}, {0, 0}},  // a view larger than the picture
        {{-10, -5}, {40, 20}, {0, 0, 30, 15}, {10, 5}}, // before the top-left corner
        {{100, 0}, {40, 20}, {}, {0, 0}},               // entirely beyond
    };
    for (const auto& c : cases) {
        const RealSizeCopy copy = clampToPicture(picture, c.origin, c.view);
        EXPECT_EQ(copy.source, c.source) << c.origin.x() << "," << c.origin.y();
        EXPECT_EQ(copy.target, c.target) << c.origin.x() << "," << c.origin.y();
    }
}

TEST(FrameRenderer, PaintsBlackBeyondThePictureAtRealSize) {
    QImage picture(100, 50, QImage::Format_RGB32);
    picture.fill(Qt::red);
    FrameRenderer renderer;
    const QImage& frame = renderer.realSize(picture, QPoint(80, 40), QSize(40, 20));
    ASSERT_EQ(frame.size(), QSize(40, 20));
    EXPECT_EQ(frame.pixelColor(5, 5), QColor(Qt::red));
    EXPECT_EQ(frame.pixelColor(25, 5), QColor(Qt::black));
    EXPECT_EQ(frame.pixelColor(5, 15), QColor(Qt::black));
}

TEST(FrameRenderer, ShrinksByAveragingRatherThanDroppingLines) {
    // One-pixel black and white stripes: averaging gives grey, dropping lines black or white.
    QImage stripes(200, 10, QImage::Format_RGB32);
    for (int x = 0; x < stripes.width(); ++x)
        for (int y = 0; y < stripes.height(); ++y)
            stripes.setPixelColor(x, y, x % 2 ? Qt::white : Qt::black);
    FrameRenderer renderer;
    const QImage& frame = renderer.fitted(stripes, QSize(50, 5));
    ASSERT_EQ(frame.size(), QSize(50, 5));
    for (int x = 1; x < frame.width() - 1; ++x)
        EXPECT_NEAR(qGray(frame.pixel(x, 2)), 128, 16) << x;
}

TEST(FrameRenderer, MakesAFrameOnlyWhenSomethingChanged) {
    QImage picture(300, 200, QImage::Format_RGB32);
    picture.fill(Qt::blue);
    FrameRenderer renderer;
    renderer.fitted(picture, QSize(150, 100));
    renderer.fitted(picture, QSize(150, 100));
    EXPECT_EQ(renderer.framesMade(), 1);
    renderer.realSize(picture, QPoint(10, 0), QSize(150, 100));
    renderer.realSize(picture, QPoint(10, 0), QSize(150, 100));
    EXPECT_EQ(renderer.framesMade(), 2);
    renderer.realSize(picture, QPoint(20, 0), QSize(150, 100));
    EXPECT_EQ(renderer.framesMade(), 3);
    QImage other = picture.copy();
    renderer.realSize(other, QPoint(20, 0), QSize(150, 100));
    EXPECT_EQ(renderer.framesMade(), 4);
}

} // namespace
} // namespace orlix
