// The viewer keeps the screen awake exactly while its show runs, through the desktop's
// screen-saver service: a private bus with a fake service stands in for the desktop.

#include "viewer/FormView.h"

#include "app/Settings.h"
#include "platform/posix/ScreenSaverInhibitorDBus.h"
#include "settings/FormSetting.h"
#include "support/FakeScreenSaverBus.h"
#include "support/NoBoxes.h"
#include "support/TempTree.h"

#include <QBuffer>
#include <QPointer>
#include <QTest>
#include <gtest/gtest.h>

#include <memory>

namespace orlix {
namespace {

class ScreenAwake : public ::testing::Test {
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

    test::FakeScreenSaverBus bus;
    std::unique_ptr<platform::ScreenSaverInhibitorDBus> inhibitor;
    test::NoBoxes boxes;
};

TEST_F(ScreenAwake, HeldWhileTheShowRunsAndGivenBackOnPauseAndEsc) {
    test::TempTree tree;
    QImage picture(40, 30, QImage::Format_RGB32);
    picture.fill(Qt::gray);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    picture.save(&buffer, "BMP");
    tree.write("a.bmp", bytes);
    tree.write("b.bmp", bytes);
    Settings = SettingsRecord();
    Settings.Path = tree.rootText();
    Settings.ExtList = QStringLiteral("bmp");
    Settings.Interval = 60;
    Settings.Auto = 1;

    QPointer<FormView> view = new FormView({QRect(0, 0, 1024, 768), 1.0}, boxes, nullptr, nullptr,
                                           nullptr, inhibitor.get());
    view->Form_Load();
    EXPECT_FALSE(inhibitor->isInhibited()); // not before the window is shown
    view->show();
    const struct {
        const char* what;
        Qt::Key key; // 0: none, the step before
        std::vector<const char*> calls;
    } steps[] = {
        {"shown, running", Qt::Key(0), {"Inhibit"}},
        {"Enter pauses", Qt::Key_Return, {"Inhibit", "UnInhibit"}},
        {"Enter resumes", Qt::Key_Return, {"Inhibit", "UnInhibit", "Inhibit"}},
        {"an arrow with Auto on pauses",
         Qt::Key_Right,
         {"Inhibit", "UnInhibit", "Inhibit", "UnInhibit"}},
        {"Enter resumes",
         Qt::Key_Return,
         {"Inhibit", "UnInhibit", "Inhibit", "UnInhibit", "Inhibit"}},
        {"Esc ends the show",
         Qt::Key_Escape,
         {"Inhibit", "UnInhibit", "Inhibit", "UnInhibit", "Inhibit", "UnInhibit"}},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.what);
        if (step.key != Qt::Key(0))
            QTest::keyClick(view.data(), step.key);
        QStringList expected;
        for (const char* call : step.calls)
            expected << QString::fromLatin1(call);
        EXPECT_EQ(methodsAfter(step.calls.size()), expected);
    }
    EXPECT_TRUE(QTest::qWaitFor([&] { return view.isNull(); }, 2000));
}

TEST_F(ScreenAwake, GivenBackWhenTheProgramEndsDuringAShow) {
    // The settings window opens in the program's own folder, where the build put its demo
    // pictures; Start shows them.
    bool ended = false;
    Settings = SettingsRecord();
    auto settings = std::make_unique<FormSetting>(
        boxes, [&] { ended = true; }, inhibitor.get());
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
