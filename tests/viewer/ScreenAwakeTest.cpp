// The show's keys, and the screen kept awake exactly while the show runs, through the desktop's
// screen-saver service: a private bus with a fake service stands in for the desktop.

#include "viewer/window/FormView.h"

#include "core/Settings.h"
#include "platform/desktop/ScreenSaverInhibitorDBus.h"
#include "support/FakeScreenSaverBus.h"
#include "viewer/TreeScene.h"
#include "viewer/steps/GuideColours.h"

#include <QLabel>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <memory>
#include <optional>

namespace orlix {
namespace {

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
    ASSERT_TRUE(runUntil([&] { return steps().stepsRun() > 0; }));
    settle();
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
