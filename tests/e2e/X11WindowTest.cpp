// The program's windows on a real X server (a private Xvfb), bare and under the openbox window
// manager: what the desktop is told about them, where they stand, the pointer over the viewer
// and real key events.
#include "X11TestMain.h"

#include "app/FormSplash.h"
#include "catalogue/FormWait.h"
#include "settings/FormSetting.h"
#include "support/NoBoxes.h"
#include "support/TempTree.h"
#include "viewer/window/FormView.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QImage>
#include <QLineEdit>
#include <QMessageBox>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <memory>

namespace orlix {
namespace {

using test::x11Server;

constexpr int kWaitMs = 20000; // generous: a loaded machine runs these beside other tests

const QString kSkipTaskbar = QStringLiteral("_NET_WM_STATE_SKIP_TASKBAR");
const QString kSkipPager = QStringLiteral("_NET_WM_STATE_SKIP_PAGER");

// CTest runs these twice: on a bare server and under openbox (X11TestMain.cpp).
class X11Windows : public ::testing::Test {
protected:
    void SetUp() override {
        QGuiApplication::setQuitOnLastWindowClosed(false);
        tree.write("a.bmp", test::pictureFile({64, 48}, qRgb(255, 0, 0)));
        tree.write("b.bmp", test::pictureFile({64, 48}, qRgb(0, 0, 255)));
    }
    void TearDown() override {
        if (settings)
            delete settings->viewer();
        settings.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    static std::uint32_t id(const QWidget* window) { return std::uint32_t(window->winId()); }
    bool managed() const { return probe.windowManagerRunning(); }

    // Shows the settings window and waits until the window manager (if any) has framed it.
    void showSettings(platform::MessageService& boxes) {
        settings = std::make_unique<FormSetting>(boxes, [this] { programEnded = true; });
        settings->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(settings.get(), kWaitMs));
        if (managed()) {
            ASSERT_TRUE(QTest::qWaitFor(
                [&] { return probe.frameExtents(id(settings.get())).has_value(); }, kWaitMs));
        }
    }
    void showSettings() { showSettings(messages); }
    // Start, as the user presses it, on the two pictures; waits for the shown viewer.
    FormView* startShow() {
        settings->findChild<QComboBox*>("CmbPath")->setEditText(tree.rootText());
        settings->findChild<QLineEdit*>("TxtInterval")->setText("60");
        settings->CmdStart_Click();
        FormView* viewer = settings->viewer();
        EXPECT_NE(viewer, nullptr);
        if (viewer) {
            EXPECT_TRUE(QTest::qWaitForWindowExposed(viewer, kWaitMs));
        }
        return viewer;
    }
    // Polls the window's _NET_WM_STATE until `wanted` says yes; a window manager rewrites the
    // property after mapping.
    bool stateBecomes(const QWidget* window,
                      const std::function<bool(const QStringList&)>& wanted) {
        return QTest::qWaitFor([&] { return wanted(probe.netWmState(id(window))); }, kWaitMs);
    }
    bool withdrawn(const QWidget* window) const {
        return !probe.viewable(id(window)) && !probe.managedWindows().contains(id(window));
    }
    static bool skips(const QStringList& states) {
        return states.contains(kSkipTaskbar) && states.contains(kSkipPager);
    }

    const test::XProbe& probe = x11Server().probe();
    test::TempTree tree;
    test::NoBoxes messages;
    std::unique_ptr<FormSetting> settings;
    bool programEnded = false; // Esc on the settings window ends the program
};

TEST_F(X11Windows, ViewerAndProgressWindowStayOffTheTaskbarAlsoWhenShownAgain) {
    showSettings();
    FormView* viewer = startShow();
    ASSERT_NE(viewer, nullptr);
    // Qt's own full-screen state is merged with the two.
    EXPECT_TRUE(stateBecomes(viewer, [](const QStringList& states) {
        return skips(states) && states.contains("_NET_WM_STATE_FULLSCREEN");
    })) << probe.netWmState(id(viewer)).join(' ').toStdString();
    // The viewer is still a normal window: one that takes the keyboard.
    EXPECT_EQ(viewer->windowType(), Qt::Window);

    // Hidden, and let go of by the window manager (which erases the states then), then shown.
    viewer->hide();
    ASSERT_TRUE(QTest::qWaitFor([&] { return withdrawn(viewer); }, kWaitMs));
    viewer->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(viewer, kWaitMs));
    EXPECT_TRUE(stateBecomes(viewer, skips))
        << probe.netWmState(id(viewer)).join(' ').toStdString();

    // The frameless progress window too; shown again it is as the viewer, which shares the hint.
    {
        FormWait wait(settings.get());
        wait.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&wait, kWaitMs));
        EXPECT_TRUE(stateBecomes(&wait, skips))
            << probe.netWmState(id(&wait)).join(' ').toStdString();
    }

    // The settings window keeps its taskbar button.
    const QStringList settingsStates = probe.netWmState(id(settings.get()));
    EXPECT_FALSE(settingsStates.contains(kSkipTaskbar));
    EXPECT_FALSE(settingsStates.contains(kSkipPager));
}

// The viewer takes the focus, blanks the pointer over all of itself and takes real key events
// from the server; the pointer comes back once Esc has closed it.
TEST_F(X11Windows, ViewerBlanksThePointerAndTakesKeysFromTheXServer) {
    showSettings();
    // Over the middle of the screen: the settings window, with the ordinary arrow.
    ASSERT_TRUE(x11Server().xdotool({"mousemove", "511", "383"}));
    ASSERT_TRUE(QTest::qWaitFor([&] { return probe.pointerVisible() == true; }, kWaitMs));

    FormView* viewer = startShow();
    ASSERT_NE(viewer, nullptr);
    ASSERT_TRUE(QTest::qWaitFor([&] { return QApplication::activeWindow() == viewer; }, kWaitMs))
        << "the viewer never got the focus";
    EXPECT_TRUE(QTest::qWaitFor([&] { return probe.pointerVisible() == false; }, kWaitMs))
        << "the pointer is still drawn over the viewer";
    // Every part of the viewer shows the blank pointer, not only its background.
    for (const QWidget* child : viewer->findChildren<QWidget*>())
        EXPECT_EQ(child->cursor().shape(), Qt::BlankCursor) << child->metaObject()->className();

    const QCheckBox* realSize = settings->findChild<QCheckBox*>("ChkRealSize");
    ASSERT_FALSE(realSize->isChecked());
    // XTEST: the key goes through the server to the window that has the focus.
    ASSERT_TRUE(x11Server().xdotool({"key", "Home"}));
    EXPECT_TRUE(QTest::qWaitFor([&] { return realSize->isChecked(); }, kWaitMs));
    ASSERT_TRUE(x11Server().xdotool({"key", "Escape"}));
    EXPECT_TRUE(QTest::qWaitFor([&] { return settings->viewer() == nullptr; }, kWaitMs));
    EXPECT_TRUE(QTest::qWaitFor([&] { return probe.pointerVisible() == true; }, kWaitMs));
}

// A failure box over the running show: once the user has closed it with a real key, the keys
// go to the viewer again, so that Esc ends the show, not the program.
TEST_F(X11Windows, TheViewerHasTheKeysAgainOnceAFailureBoxIsClosed) {
    tree.mkdir("0.jpg"); // a folder by a picture's name: the show's first file, and a failure
    platform::DesktopMessageService boxes;
    showSettings(boxes);
    settings->findChild<QCheckBox*>("ChkSort")->setChecked(true);
    // The box blocks the step that shows it; Enter is pressed on it once it has the keyboard.
    bool boxClosed = false;
    QTimer closer;
    QObject::connect(&closer, &QTimer::timeout, [&] {
        const auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box && box->isActiveWindow() && !boxClosed)
            boxClosed = x11Server().xdotool({"key", "Return"});
    });
    closer.start(100);
    FormView* viewer = startShow();
    ASSERT_NE(viewer, nullptr);
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return boxClosed && !QApplication::activeModalWidget(); }, kWaitMs))
        << "no box came, or it stayed";
    closer.stop();
    // A window manager may pass the keyboard around before it settles: once it has handled the
    // box's going, the keys stay where it put them, where the user's next key goes.
    if (managed()) {
        ASSERT_TRUE(probe.windowManagerCaughtUp(kWaitMs));
    }
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return probe.inputFocus() == id(viewer) && QApplication::activeWindow() == viewer; },
        kWaitMs))
        << "the keys went to window " << probe.inputFocus() << ", not to the viewer " << id(viewer);
    ASSERT_TRUE(x11Server().xdotool({"key", "Escape"}));
    EXPECT_TRUE(QTest::qWaitFor([&] { return settings->viewer() == nullptr; }, kWaitMs));
    EXPECT_FALSE(programEnded);
}

TEST_F(X11Windows, WindowsAreCentredFrameIncluded) {
    const QSize screen = test::kX11Screen;
    ASSERT_EQ(probe.screenSize(), screen);
    showSettings();
    const QSize client(378, 136);
    const QMargins frame = probe.frameExtents(id(settings.get())).value_or(QMargins());
    EXPECT_EQ(frame.isNull(), !managed());
    const QSize framed = client.grownBy(frame);
    // The frame's left edge at round((screen - frame) / 2), the half pixel rounded up.
    const QPoint corner((screen.width() - framed.width() + 1) / 2,
                        (screen.height() - framed.height() + 1) / 2);
    const QRect expected(corner + QPoint(frame.left(), frame.top()), client);
    EXPECT_TRUE(
        QTest::qWaitFor([&] { return probe.placeOnRoot(id(settings.get())) == expected; }, kWaitMs))
        << "frame " << frame.left() << "," << frame.top() << "," << frame.right() << ","
        << frame.bottom() << "; at " << probe.placeOnRoot(id(settings.get())).x() << ","
        << probe.placeOnRoot(id(settings.get())).y();

    // The frameless windows: the progress window and the splash.
    FormWait wait(settings.get());
    wait.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&wait, kWaitMs));
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return probe.placeOnRoot(id(&wait)) == QRect(323, 303, 378, 161); }, kWaitMs));
    SplashDesktop desktop = SplashDesktop::current();
    desktop.movePointer = [](const QPoint&) { return true; };
    FormSplash splash(SplashTexts::fromBuild(), platform::primaryScreen(), desktop);
    splash.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&splash, kWaitMs));
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return probe.placeOnRoot(id(&splash)) == QRect(363, 339, 298, 89); }, kWaitMs));
}

} // namespace
} // namespace orlix
