#include "app/SplashPointer.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <limits>

namespace orlix {
namespace {

TEST(RoundHalfToEven, HalvesGoToTheEvenNeighbourEverythingElseToTheNearest) {
    const struct {
        double value;
        int expected;
    } cases[] = {
        {0.5, 0},
        {1.5, 2},
        {2.5, 2},
        {-0.5, 0},
        {-1.5, -2},
        {-2.5, -2},
        {205.4, 205},
        {205.6, 206},
        {204.5, 204},
        {0.49999, 0},
        {0.50001, 1},
        {-204.4, -204},
        {1e9 + 1.5, 1000000002},
        // Out of range: clamped rather than undefined.
        {1e300, INT_MAX},
        {-1e300, INT_MIN},
        {std::numeric_limits<double>::infinity(), INT_MAX},
        {std::nan(""), 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(roundHalfToEven(c.value), c.expected) << "value " << c.value;
}

TEST(SplashPointerPixel, SixtyPercentAcrossFortyPercentDownRoundedHalfToEven) {
    // The splash's own link is 1200, 840, 3135 x 375 twips: 60 % across is 1881 twips, 40 %
    // down is 150. At 15 twips per pixel a window at (L, T) pixels puts the pointer at
    // (L + 205.4, T + 66) -> (L + 205, T + 66).
    const QRectF link(1200, 840, 3135, 375);
    const struct {
        const char* what;
        QPointF windowTwips;
        QRectF linkTwips;
        double perPixelX;
        double perPixelY;
        QPoint expected;
    } cases[] = {
        {"origin", {0, 0}, link, 15, 15, {205, 66}},
        {"centred on 800x600", {251 * 15, 255 * 15}, link, 15, 15, {456, 321}},
        {"screen to the left", {-1709 * 15, 100 * 15}, link, 15, 15, {-1504, 166}},
        // Window corners off the pixel grid, as twips allow: (3081 + 1.35) / 15 = 205.49, and
        // sums exactly on halves: 3082.5 / 15 = 205.5 -> 206, 3067.5 / 15 = 204.5 -> 204.
        {"x just below a half", {1.35, 0}, link, 15, 15, {205, 66}},
        {"x half up to even", {1.5, 0}, link, 15, 15, {206, 66}},
        {"x half down to even", {-13.5, 0}, link, 15, 15, {204, 66}},
        // (840 + T + 150) / 15: T = 7.5 -> 66.5 -> 66, T = 22.5 -> 67.5 -> 68.
        {"y half down to even", {0, 7.5}, link, 15, 15, {205, 66}},
        {"y half up to even", {0, 22.5}, link, 15, 15, {205, 68}},
        // 120 dpi: 3081 / 12 = 256.75, 990 / 12 = 82.5; unequal: 4581 / 15, 2490 / 12 = 207.5.
        {"120 dpi", {0, 0}, link, 12, 12, {257, 82}},
        {"unequal factors", {1500, 1500}, link, 15, 12, {305, 208}},
        // Another link: 0.6 x 2.5 = 1.5 -> 2, 0.4 x 6.25 = 2.5 -> 2.
        {"small link on halves", {0, 0}, QRectF(0, 0, 2.5, 6.25), 1, 1, {2, 2}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(splashPointerPixel(c.windowTwips, c.linkTwips, c.perPixelX, c.perPixelY),
                  c.expected)
            << c.what;
}

} // namespace
} // namespace orlix
