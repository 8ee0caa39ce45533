#include "app/SplashPointer.h"

#include <gtest/gtest.h>

#include <tuple>

namespace orlix {
namespace {

TEST(SplashPointer, SixtyPercentAcrossFortyPercentDownTheLinkRoundedHalfToEven) {
    // The splash's link in twips: 60 % across is 1881, 40 % down is 150.
    const QRectF link(1200, 840, 3135, 375);
    // Window corner in twips, twips per pixel across and down, expected pixel. The sums fall on
    // halves: 3082.5 / 15 = 205.5, 3067.5 / 15 = 204.5, -22552.5 / 15 = -1503.5, 997.5 / 15 =
    // 66.5, 1012.5 / 15 = 67.5; with unequal factors 4581 / 15 = 305.4, 2490 / 12 = 207.5.
    const std::tuple<QPointF, double, double, QPoint> cases[] = {
        {{0, 0}, 15, 15, {205, 66}},       {{1.5, 0}, 15, 15, {206, 66}},
        {{-13.5, 0}, 15, 15, {204, 66}},   {{-25633.5, 0}, 15, 15, {-1504, 66}},
        {{0, 7.5}, 15, 15, {205, 66}},     {{0, 22.5}, 15, 15, {205, 68}},
        {{1500, 1500}, 15, 12, {305, 208}}};
    for (const auto& [window, perPixelX, perPixelY, expected] : cases)
        EXPECT_EQ(splashPointerPixel(window, link, perPixelX, perPixelY), expected)
            << window.x() << ", " << window.y();
}

} // namespace
} // namespace orlix
