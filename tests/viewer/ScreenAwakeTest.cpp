// The viewer keeps the screen awake exactly while its show runs, through the desktop's
// screen-saver service: a private bus with a fake service stands in for the desktop.

#include "viewer/FormView.h"

#include "app/Settings.h"
#include "platform/posix/ScreenSaverInhibitorDBus.h"
#include "settings/FormSetting.h"
#include "support/FakeScreenSaverBus.h"
#include "viewer/ViewerScene.h"

#include <QTest>
#include <gtest/gtest.h>

#include <memory>

namespace orlix {
namespace {

class ScreenAwake : public ::testing::Test, public test::ViewerScene {
protected:
    void SetUp() override {
        ASSERT_TRUE(bus.start()) << bus.error().toStdString();
        ASSERT_TRUE(bus.startService()) << bus.error().toStdString();
        inhibitor = std::make_unique<platform::ScreenSaverInhibitorDBus>(
            bus.connect(QStringLiteral("viewer")));
    }
    // The methods the service has been called with, in order.
    QStringList methods() {
        QStringList names;
        for (const test::ScreenSaverCall& call : bus.calls())
            names << call.method;
        return names;
    }
    // Waits for `count` calls, then makes sure no more come.
    QStringList methodsAfter(std::size_t count) {
        EXPECT_TRUE(bus.waitForCalls(count));
        EXPECT_FALSE(bus.waitForCalls(count + 1, 200));
        return methods();
    }

    // The viewer goes before the inhibitor it was given.
    void TearDown() override { close(); }

    test::FakeScreenSaverBus bus;
    std::unique_ptr<platform::ScreenSaverInhibitorDBus> inhibitor;
};

TEST_F(ScreenAwake, HeldWhileTheShowRunsAndGivenBackOnPauseAndEsc) {
    pictures({"a.bmp", "b.bmp"});
    Settings.Auto = 1;
    screenSaver = inhibitor.get();
    open(1.0, false);
    EXPECT_FALSE(inhibitor->isInhibited()); // not before the window is shown
    // Each step makes one call more, and no other.
    const struct {
        const char* what;
        Qt::Key key; // 0: none, the step before
        const char* call;
    } steps[] = {
        {"shown, running", Qt::Key(0), "Inhibit"},
        {"Enter pauses", Qt::Key_Return, "UnInhibit"},
        {"Enter resumes", Qt::Key_Return, "Inhibit"},
        {"an arrow with Auto on pauses", Qt::Key_Right, "UnInhibit"},
        {"Enter resumes", Qt::Key_Return, "Inhibit"},
        {"Esc ends the show", Qt::Key_Escape, "UnInhibit"},
    };
    QStringList expected;
    for (const auto& step : steps) {
        SCOPED_TRACE(step.what);
        if (step.key != Qt::Key(0))
            QTest::keyClick(view.data(), step.key);
        expected << QString::fromLatin1(step.call);
        EXPECT_EQ(methodsAfter(std::size_t(expected.size())), expected);
    }
    EXPECT_TRUE(runUntil([&] { return view.isNull(); }, 2000));
    EXPECT_TRUE(boxes.isEmpty());
}

TEST_F(ScreenAwake, GivenBackWhenTheProgramEndsDuringAShow) {
    // The settings window opens in the program's own folder, where the build put its demo
    // pictures; Start shows them.
    bool ended = false;
    Settings = SettingsRecord();
    auto settings = std::make_unique<FormSetting>(
        *this, [&] { ended = true; }, inhibitor.get());
    settings->show();
    settings->CmdStart_Click();
    ASSERT_TRUE(settings->viewer()) << "no viewer: are the demo pictures beside the test?";
    EXPECT_EQ(methodsAfter(1), QStringList("Inhibit"));
    settings->close(); // ends the program, the viewer with it
    EXPECT_TRUE(ended);
    EXPECT_EQ(methodsAfter(2), QStringList({"Inhibit", "UnInhibit"}));
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    settings.reset();
    inhibitor.reset(); // as the program's end does: nothing more to give back
    EXPECT_FALSE(bus.waitForCalls(3, 200));
}

} // namespace
} // namespace orlix
