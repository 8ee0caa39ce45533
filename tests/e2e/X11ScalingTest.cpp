// At every device pixel ratio a picture shown one to one maps each of its pixels onto one whole
// device pixel on the screen, whether fitted or at real size. Run on a real X server once per
// ratio, with QT_SCALE_FACTOR set by CTest (see CMakeLists.txt): only the window system's own
// backing store shows what a fractional ratio does to a widget's edges.

#include "viewer/window/FormView.h"

#include "X11TestMain.h"
#include "core/Settings.h"
#include "platform/desktop/ScreenMetrics.h"
#include "support/NoBoxes.h"
#include "support/ShotAreas.h"
#include "support/TempTree.h"
#include "viewer/window/PictureBox.h"

#include <QPointer>
#include <QTest>
#include <gtest/gtest.h>

namespace orlix {
namespace {

// Red and blue one-pixel squares: a row or column lost, doubled or blended shows at once.
QImage checkerboard(QSize size) {
    QImage image(size, QImage::Format_RGB32);
    for (int y = 0; y < size.height(); ++y)
        for (int x = 0; x < size.width(); ++x)
            image.setPixel(x, y, (x + y) % 2 ? qRgb(255, 0, 0) : qRgb(0, 0, 255));
    return image;
}

TEST(Scaling, EachFramePixelIsOneWholeDevicePixel) {
    const platform::ScreenMetrics screen = platform::primaryScreen();
    const double ratio = screen.devicePixelRatio;
    const test::XProbe& probe = test::x11Server().probe();
    test::NoBoxes boxes;
    const struct {
        const char* what;
        QSize picture;
        bool realSize;
    } cases[] = {
        {"fits, fitted", {300, 200}, false},
        {"fits, real size", {300, 200}, true},
        {"scaled down to fit", {3001, 2001}, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        test::TempTree tree;
        const QImage board = checkerboard(c.picture);
        ASSERT_TRUE(board.save(QString::fromUtf8(tree.path("board.bmp")), "BMP"));
        Settings = SettingsRecord();
        Settings.Path = tree.rootText();
        Settings.ExtList = QStringLiteral("bmp");
        Settings.Interval = 60;
        Settings.RealSize = c.realSize ? 1 : 0;
        QPointer<FormView> view = new FormView(screen, boxes, nullptr);
        view->Form_Load();
        view->show();
        // The picture box is shown once the first step has ended.
        const PictureBox* picView = view->findChild<PictureBox*>(QStringLiteral("PicView"));
        ASSERT_TRUE(QTest::qWaitFor([&] { return picView->isVisible(); }, 5000));
        // Painted by now: give the server a moment to have it.
        QTest::qWait(300);
        const QImage shot = probe.grab(QRect(QPoint(0, 0), probe.screenSize()))
                                .convertToFormat(QImage::Format_RGB32);
        // What the screen shows is the frame, whole, one frame pixel per device pixel; a
        // picture that fits is its own frame.
        const QImage frame = picView->frame().convertToFormat(QImage::Format_RGB32);
        if (c.picture.width() < 1000) {
            EXPECT_EQ(frame, board);
        }
        const QRect lit = test::areaNot(shot, qRgb(0, 0, 0));
        // An odd-sized screen at a whole ratio of 2 is half a logical pixel short: a frame as
        // large as the window loses what lies past the screen's edge, and nothing else.
        const QRect onScreen = QRect(lit.topLeft(), frame.size()) & shot.rect();
        EXPECT_EQ(lit, onScreen) << "ratio " << ratio;
        int wrong = 0;
        for (int y = 0; y < onScreen.height() && lit == onScreen; ++y)
            for (int x = 0; x < onScreen.width(); ++x)
                wrong += shot.pixel(lit.left() + x, lit.top() + y) != frame.pixel(x, y);
        EXPECT_EQ(wrong, 0) << "ratio " << ratio;
        delete view.data();
    }
}

} // namespace
} // namespace orlix
