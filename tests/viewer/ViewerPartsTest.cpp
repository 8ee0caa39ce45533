// The viewer's parts alone (its key mapping, the frames it makes and the picture box that
// shows them), and on the window the show's keys, with the screen kept awake exactly while the
// show runs, through the desktop's screen-saver service: a private bus with a fake service
// stands in for the desktop.

#include "viewer/steps/FrameRenderer.h"
#include "viewer/steps/KeyMapping.h"
#include "viewer/window/PictureBox.h"

#include "core/Settings.h"
#include "platform/desktop/ScreenSaverInhibitorDBus.h"
#include "support/FakeScreenSaverBus.h"
#include "viewer/TreeScene.h"
#include "viewer/steps/GuideColours.h"

#include <QLabel>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <optional>
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
    FrameRenderer renderer;
    const QImage& frame = renderer.realSize(test::filledImage({100, 50}, qRgb(255, 0, 0)),
                                            QPoint(80, 40), QSize(40, 20));
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
        box.setFrame(test::filledImage(c.frame, qRgb(255, 0, 0)), c.ratio);
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

class ScreenAwake : public ::testing::Test, public test::TreeScene {
protected:
    void SetUp() override {
        ASSERT_TRUE(bus.start()) << bus.error().toStdString();
        ASSERT_TRUE(bus.startService()) << bus.error().toStdString();
        inhibitor = std::make_unique<platform::ScreenSaverInhibitorDBus>(
            bus.connect(QStringLiteral("viewer")));
    }
    static QColor colour(const QLabel* l) { return l->palette().color(QPalette::WindowText); }

    // The viewer goes before the inhibitor it was given.
    ~ScreenAwake() override { close(); }

    test::FakeScreenSaverBus bus;
    std::unique_ptr<platform::ScreenSaverInhibitorDBus> inhibitor;
};

// Each key finds the show as the one before left it (running at first): what it marks on the
// guide while it is down and after, whether the show then runs, and the screen held awake
// exactly while it does, with one call to the service for each change.
TEST_F(ScreenAwake, KeysMoveTheShowBetweenRunningAndPausedAndMarkTheGuide) {
    pictures({"1.bmp", "2.bmp"});
    screenSaver = inhibitor.get();
    open(false);
    EXPECT_FALSE(inhibitor->isInhibited()); // not before the window is shown
    ASSERT_TRUE(runUntil([&] { return steps().stepsRun() > 0 && steps().settled(); }));
    EXPECT_EQ(intervalTimer()->interval(), 60000);
    EXPECT_FALSE(guideLabel(GuideLabel::Auto)->autoFillBackground()); // Auto off
    const struct {
        std::int16_t autoSwitch;
        Qt::Key key;
        Qt::KeyboardModifiers modifiers;
        std::optional<GuideLabel> label; // marked green while the key is down
        QColor afterRelease;
        bool runningAfter;
    } cases[] = {
        {0, Qt::Key_Return, Qt::NoModifier, GuideLabel::StopStart, kGuideWhite, false},
        {0, Qt::Key_Enter, Qt::KeypadModifier, GuideLabel::StopStart, kGuideWhite, true},
        {1, Qt::Key_Left, Qt::NoModifier, GuideLabel::PreviousFile, kGuideWhite, false},
        // The direction stays marked.
        {0, Qt::Key_Right, Qt::NoModifier, GuideLabel::NextFile, kGuideGreen, true},
        {0, Qt::Key_Down, Qt::ShiftModifier, GuideLabel::MoveDown, kGuideWhite, false},
        {0, Qt::Key_Home, Qt::NoModifier, GuideLabel::RealSize, kGuideGreen, false}, // on
        {0, Qt::Key_Control, Qt::NoModifier, GuideLabel::Guide, kGuideGreen, false}, // on
        {0, Qt::Key_Return, Qt::NoModifier, GuideLabel::StopStart, kGuideWhite, true},
        {0, Qt::Key_Home, Qt::NoModifier, GuideLabel::RealSize, kGuideWhite, true}, // off
        {1, Qt::Key_A, Qt::NoModifier, std::nullopt, kGuideWhite, true},
    };
    QStringList expected{QStringLiteral("Inhibit")};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << c.key << " auto " << c.autoSwitch);
        Settings.Auto = c.autoSwitch;
        const QLabel* label = guideLabel(c.label.value_or(GuideLabel::Exit));
        QTest::keyPress(view.data(), c.key, c.modifiers);
        settle();
        EXPECT_TRUE(!c.label || colour(label) == kGuideGreen);
        QTest::keyRelease(view.data(), c.key, c.modifiers);
        EXPECT_TRUE(!c.label || colour(label) == c.afterRelease);
        EXPECT_EQ(intervalTimer()->isActive(), c.runningAfter);
        EXPECT_EQ(colour(fileNameLabel()), c.runningAfter ? kGuideWhite : kGuideGreen);
        if (c.runningAfter != (expected.last() == QLatin1String("Inhibit")))
            expected << QString::fromLatin1(c.runningAfter ? "Inhibit" : "UnInhibit");
        EXPECT_TRUE(bus.waitForCalls(std::size_t(expected.size())));
    }
    const QLabel* autoLabel = guideLabel(GuideLabel::Auto); // Auto now on
    EXPECT_TRUE(autoLabel->autoFillBackground());
    EXPECT_EQ(autoLabel->palette().color(QPalette::Window), kGuideGreen);
    EXPECT_TRUE(fileNameLabel()->isVisible()); // Ctrl has switched the guide on
    EXPECT_EQ(checks, QStringList({"RealSize 1", "Guide 1", "RealSize 0"}));
    QTest::keyClick(view.data(), Qt::Key_Escape); // ends the show
    expected << QStringLiteral("UnInhibit");
    EXPECT_TRUE(bus.waitForCalls(std::size_t(expected.size())));
    EXPECT_FALSE(bus.waitForCalls(std::size_t(expected.size()) + 1, 200)); // and no more come
    QStringList methods;
    for (const test::ScreenSaverCall& call : bus.calls())
        methods << call.method;
    EXPECT_EQ(methods, expected);
    EXPECT_TRUE(runUntil([&] { return view.isNull(); }, 2000));
    EXPECT_TRUE(boxes.isEmpty());
}

} // namespace
} // namespace orlix
