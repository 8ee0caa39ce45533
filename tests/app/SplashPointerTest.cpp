#include "app/SplashPointer.h"

#include <gtest/gtest.h>

#include <cctype>
#include <climits>
#include <cmath>
#include <limits>
#include <ostream>
#include <string>

namespace orlix {
namespace {

struct RoundCase {
    double value;
    int expected;
};

TEST(RoundHalfToEven, HalvesGoToTheEvenNeighbourEverythingElseToTheNearest) {
    const RoundCase cases[] = {
        {0.0, 0},
        {0.5, 0},
        {1.5, 2},
        {2.5, 2},
        {3.5, 4},
        {-0.5, 0},
        {-1.5, -2},
        {-2.5, -2},
        {205.4, 205},
        {205.6, 206},
        {204.5, 204},
        {205.5, 206},
        {0.49999, 0},
        {0.50001, 1},
        {-205.5, -206},
        {-204.4, -204},
        {1e9 + 0.5, 1000000000},
        {1e9 + 1.5, 1000000002},
    };
    for (const RoundCase& c : cases)
        EXPECT_EQ(roundHalfToEven(c.value), c.expected) << "value " << c.value;
}

TEST(RoundHalfToEven, OutOfRangeValuesAreClampedRatherThanUndefined) {
    EXPECT_EQ(roundHalfToEven(1e300), INT_MAX);
    EXPECT_EQ(roundHalfToEven(-1e300), INT_MIN);
    EXPECT_EQ(roundHalfToEven(std::numeric_limits<double>::infinity()), INT_MAX);
    EXPECT_EQ(roundHalfToEven(std::nan("")), 0);
}

struct PlacementCase {
    const char* what;
    QPointF windowTwips;
    QRectF linkTwips;
    double twipsPerPixelX;
    double twipsPerPixelY;
    QPoint expected;
};

void PrintTo(const PlacementCase& c, std::ostream* out) {
    *out << c.what;
}

// The splash's own link is 1200, 840, 3135 x 375 twips: 60 % across is 1881 twips, 40 % down
// is 150 twips. At 15 twips per pixel a window at (L, T) pixels puts the pointer at
// (L + 205.4, T + 66) -> (L + 205, T + 66).
const QRectF kLink(1200, 840, 3135, 375);

class SplashPointerPlacement : public ::testing::TestWithParam<PlacementCase> {};

TEST_P(SplashPointerPlacement, SixtyPercentAcrossFortyPercentDown) {
    const PlacementCase& c = GetParam();
    EXPECT_EQ(splashPointerPixel(c.windowTwips, c.linkTwips, c.twipsPerPixelX, c.twipsPerPixelY),
              c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SplashPointerPlacement,
    ::testing::Values(
        PlacementCase{"origin", {0, 0}, kLink, 15, 15, {205, 66}},
        PlacementCase{"centred on 800x600", {251 * 15, 255 * 15}, kLink, 15, 15, {456, 321}},
        PlacementCase{"centred on 1920x1080", {811 * 15, 495 * 15}, kLink, 15, 15, {1016, 561}},
        PlacementCase{
            "second screen to the left", {-1709 * 15, 100 * 15}, kLink, 15, 15, {-1504, 166}},
        // Window corners off the pixel grid, as twips allow: (3081 + 1.35) / 15 = 205.49 -> 205,
        // and sums that land exactly on halves: 3082.5 / 15 = 205.5 -> 206 (even),
        // 3067.5 / 15 = 204.5 -> 204 (even).
        PlacementCase{"x just below a half", {1.35, 0}, kLink, 15, 15, {205, 66}},
        PlacementCase{"x half up to even", {1.5, 0}, kLink, 15, 15, {206, 66}},
        PlacementCase{"x half down to even", {-13.5, 0}, kLink, 15, 15, {204, 66}},
        // y: (840 + T + 150) / 15 with T = 7.5 -> 66.5 -> 66, T = 22.5 -> 67.5 -> 68.
        PlacementCase{"y half down to even", {0, 7.5}, kLink, 15, 15, {205, 66}},
        PlacementCase{"y half up to even", {0, 22.5}, kLink, 15, 15, {205, 68}},
        // Other screens: 12 twips per pixel (120 dpi: 3081 / 12 = 256.75, 990 / 12 = 82.5),
        // unequal factors (4581 / 15 = 305.4, 2490 / 12 = 207.5).
        PlacementCase{"120 dpi", {0, 0}, kLink, 12, 12, {257, 82}},
        PlacementCase{"unequal factors", {1500, 1500}, kLink, 15, 12, {305, 208}},
        // A link of another size: width 25 -> 15 twips at 60 %, height 5 -> 2 at 40 %.
        PlacementCase{"small link", {0, 0}, QRectF(0, 0, 25, 5), 1, 1, {15, 2}},
        // 0.6 x 2.5 = 1.5 -> 2; 0.4 x 6.25 = 2.5 -> 2.
        PlacementCase{"small link on halves", {0, 0}, QRectF(0, 0, 2.5, 6.25), 1, 1, {2, 2}}),
    [](const ::testing::TestParamInfo<PlacementCase>& info) {
        std::string name;
        for (const char* p = info.param.what; *p; ++p)
            name += std::isalnum(static_cast<unsigned char>(*p)) ? *p : '_';
        return name;
    });

} // namespace
} // namespace orlix
