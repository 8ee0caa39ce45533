#include "viewer/steps/FrameRenderer.h"
#include "viewer/steps/KeyMapping.h"
#include "viewer/window/PictureBox.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <utility>

namespace orlix {
namespace {

TEST(KeyMapping, KeypadKeysActLikeTheMainOnes) {
    // Enter and the arrows and Home with Num Lock off, the digits beside them with it on.
    const std::pair<int, std::int16_t> keypad[] = {
        {Qt::Key_Enter, 13}, {Qt::Key_Left, 37}, {Qt::Key_Home, 36}, {Qt::Key_8, 38},
        {Qt::Key_2, 40},     {Qt::Key_4, 37},    {Qt::Key_6, 39},    {Qt::Key_7, 36}};
    for (const auto& [key, code] : keypad)
        EXPECT_EQ(mapKey(key, Qt::KeypadModifier).code, code) << std::hex << key;
    EXPECT_EQ(mapKey(Qt::Key_8, Qt::NoModifier).code, 0); // the digit row is not the keypad
    const ViewerKey shifted = mapKey(Qt::Key_6, Qt::KeypadModifier | Qt::ShiftModifier);
    EXPECT_EQ(shifted.code, 39);
    EXPECT_EQ(shifted.shift, 1);
}

TEST(FrameRenderer, PaintsBlackBeyondThePictureAtRealSize) {
    QImage picture(100, 50, QImage::Format_RGB32);
    picture.fill(Qt::red);
    FrameRenderer renderer;
    const QImage& frame = renderer.realSize(picture, QPoint(80, 40), QSize(40, 20));
    ASSERT_EQ(frame.size(), QSize(40, 20));
    EXPECT_EQ(frame.pixelColor(19, 9), QColor(Qt::red));
    EXPECT_EQ(frame.pixelColor(20, 5), QColor(Qt::black));
    EXPECT_EQ(frame.pixelColor(5, 10), QColor(Qt::black));
}

// Shrinking averages: a one-pixel checkerboard comes out mid-grey everywhere, also in the
// parts of a large frame that Qt's thread pool makes apart; dropping rows or columns would
// leave black or white. The sizes have no common measure.
TEST(FrameRenderer, AveragesWhenShrinking) {
    QImage checkers(1999, 1501, QImage::Format_RGB32);
    for (int y = 0; y < checkers.height(); ++y)
        for (int x = 0; x < checkers.width(); ++x)
            checkers.setPixel(x, y, (x + y) % 2 ? qRgb(255, 255, 255) : qRgb(0, 0, 0));
    FrameRenderer renderer;
    const QImage grey = renderer.fitted(checkers, {1003, 777});
    ASSERT_EQ(grey.size(), QSize(1003, 777));
    int far = 0;
    for (int y = 0; y < grey.height(); ++y)
        for (int x = 0; x < grey.width(); ++x)
            far += std::abs(qGray(grey.pixel(x, y)) - 128) > 24;
    EXPECT_EQ(far, 0);
}

TEST(PictureBox, PaintsEveryPixelTheFrameOrBlack) {
    const struct {
        qreal ratio;
        QSize frame;  // device pixels
        QRect placed; // logical pixels
    } cases[] = {
        {1, {40, 20}, {0, 0, 60, 30}},   // the frame smaller than the box
        {1, {60, 30}, {0, 0, 60, 30}},   // the frame filling it
        {2, {81, 41}, {0, 0, 45, 25}},   // odd sizes: the last logical pixels half covered
        {1.5, {31, 29}, {0, 0, 24, 20}}, // beside the slack at a fractional ratio
    };
    const QColor unpainted(Qt::green);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.ratio);
        PictureBox box;
        box.place(c.placed, c.ratio);
        QImage frame(c.frame, QImage::Format_RGB32);
        frame.fill(Qt::red);
        box.setFrame(frame, c.ratio);
        QImage shot(box.size() * c.ratio, QImage::Format_RGB32);
        shot.setDevicePixelRatio(c.ratio);
        shot.fill(unpainted);
        box.render(&shot, QPoint(), QRegion(), QWidget::RenderFlags()); // no background
        for (int y = 0; y < shot.height(); ++y) {
            for (int x = 0; x < shot.width(); ++x) {
                const bool inFrame = x < c.frame.width() && y < c.frame.height();
                ASSERT_EQ(shot.pixelColor(x, y), QColor(inFrame ? Qt::red : Qt::black))
                    << x << "," << y;
            }
        }
    }
}

} // namespace
} // namespace orlix
