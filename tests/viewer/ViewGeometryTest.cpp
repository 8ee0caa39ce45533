#include "viewer/ViewGeometry.h"
#include "viewer/GuideLayout.h"

#include <gtest/gtest.h>

namespace orlix {
namespace {

TEST(RoundHalfEven, TiesGoToTheEvenNeighbour) {
    const struct {
        double value;
        int rounded;
    } cases[] = {{0.5, 0},   {1.5, 2},   {2.5, 2},       {2.6, 3},  {-0.5, 0},
                 {-1.5, -2}, {-2.5, -2}, {1536.4, 1536}, {10.0, 10}};
    for (const auto& c : cases)
        EXPECT_EQ(roundHalfEven(c.value), c.rounded) << c.value;
}

TEST(ViewHeight, KeepsTwoGuideRowsAndAGapClearOnlyWhileTheGuideIsOn) {
    EXPECT_EQ(computeViewHeight(11520, 195, false), 11520);
    EXPECT_EQ(computeViewHeight(11520, 195, true), 11520 - 390 - 100);
}

// A 1024 x 768 screen: 15360 x 11520 twips; pictures given in pixels at 15 twips each.
struct FitCase {
    const char* name;
    int viewHeight;
    int pictureWidth, pictureHeight;
    PicturePlacement placed;
    int percent;
};

class FitRule : public ::testing::TestWithParam<FitCase> {};

TEST_P(FitRule, FitsCentresAndScales) {
    const FitCase& c = GetParam();
    const double bw = c.pictureWidth * 15.0, bh = c.pictureHeight * 15.0;
    const PicturePlacement placed = placePicture(15360, c.viewHeight, bw, bh);
    EXPECT_EQ(placed.left, c.placed.left);
    EXPECT_EQ(placed.top, c.placed.top);
    EXPECT_EQ(placed.width, c.placed.width);
    EXPECT_EQ(placed.height, c.placed.height);
    EXPECT_EQ(scalePercent(false, placed.width, bw), c.percent);
    EXPECT_EQ(scalePercent(true, placed.width, bw), 100);
}

const FitCase kFits[] = {
    {"WorkedExample", 11520, 2000, 1000, {0, 1920, 15360, 7680}, 51},
    {"FitsAtItsOwnSize", 11520, 800, 600, {1680, 1260, 12000, 9000}, 100},
    {"ExactlyFitsIsNotScaled", 11520, 1024, 768, {0, 0, 15360, 11520}, 100},
    {"TooTallHeightDecides", 11520, 500, 1000, {4800, 0, 5760, 11520}, 76},
    {"EqualRatiosHeightDecides", 11520, 2048, 1536, {0, 0, 15360, 11520}, 50},
    {"GuideAreaMakesAFullScreenPictureShrink", 11030, 1024, 768, {330, 0, 14700, 11025}, 95},
    {"TinyPictureIsNeverEnlarged", 11520, 1, 1, {7680, 5760, 15, 15}, 100},
};

INSTANTIATE_TEST_SUITE_P(Cases, FitRule, ::testing::ValuesIn(kFits),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(FitRule, TooWideWidthDecidesAndKeepsTheAspect) {
    const FitSize fit = fitPicture(15360, 11520, 3000 * 15.0, 1000 * 15.0);
    EXPECT_FLOAT_EQ(fit.width, 15360.f);
    EXPECT_FLOAT_EQ(fit.height, 5120.f);
}

TEST(Caption, HasThePathThenSizeAndScaleOnASecondLine) {
    EXPECT_EQ(pictureCaption(QStringLiteral("/p/a.jpg"), 2000, 1000, 51),
              QStringLiteral("/p/a.jpg\r (Size 2000X1000 51%)"));
}

TEST(GuideLayout, PacksTwoRowsFromTheLeftAndPutsTheFileNameBeside) {
    std::array<GuideLayout::Measured, GuideLayout::kLabelCount> measured{};
    for (int i = 0; i < GuideLayout::kLabelCount; ++i)
        measured[i] = {195, 1000 + 15 * i};
    measured[6].heightBefore = 210; // the lower row is offset by label 6's height
    const GuideLayout layout(15360, 11520, measured, 390);

    int x = 0;
    for (int i = 0; i < GuideLayout::kLabelCount; ++i) {
        if (i == 6)
            x = 0;
        EXPECT_EQ(layout.label(i).left, x) << i;
        const int rowOffset = i < 6 ? 0 : 210;
        EXPECT_EQ(layout.label(i).top, 11520 - 2 * measured[i].heightBefore + rowOffset) << i;
        x += measured[i].widthAfter;
    }
    EXPECT_EQ(layout.fileNameLeft(), x);
    EXPECT_EQ(layout.fileNameWidth(), 15360 - x);
    EXPECT_EQ(layout.fileNameTop(), 11520 - 390);
}

TEST(GuideLayout, CaptionsAreTheKeyNames) {
    EXPECT_EQ(GuideLayout::caption(0), QStringLiteral(" Esc : Exit  "));
    EXPECT_EQ(GuideLayout::caption(2), QString::fromUtf8(" \u2191 : PreviousFolder  "));
    EXPECT_EQ(GuideLayout::caption(9), QString::fromUtf8(" Shift+\u2192 : MoveRight  "));
    EXPECT_EQ(GuideLayout::caption(12), QStringLiteral(" Auto "));
    for (int i = 0; i < GuideLayout::kAutoLabel; ++i)
        EXPECT_TRUE(GuideLayout::caption(i).startsWith(QLatin1Char(' ')) &&
                    GuideLayout::caption(i).endsWith(QLatin1String("  ")))
            << i;
}

} // namespace
} // namespace orlix
