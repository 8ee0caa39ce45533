// The real program natively on Wayland: weston, nested in a private Xvfb, with the program as
// its Wayland client, watched from outside through shots of the X screen. Any Qt warning ends
// the program here (QT_FATAL_WARNINGS), so a clean exit means that none came.
#include "ShotAreas.h"
#include "Weston.h"
#include "support/ProgramRun.h"
#include "support/XvfbServer.h"

#include <QTest>
#include <gtest/gtest.h>

#include <utility>

namespace orlix::test {
namespace {

const QString kProgram = QStringLiteral(ORLIX_BIN_DIR "/orlix");

TEST(WaylandSession, ShowOnWestonWarnsOfNothing) {
    const QRgb red = qRgb(255, 0, 0), blue = qRgb(0, 0, 255), black = qRgb(0, 0, 0);
    ProgramRun program(kProgram, {{"a.bmp", pictureFile({200, 120}, red, "BMP")},
                                  {"b.bmp", pictureFile({160, 100}, blue, "BMP")}});
    XvfbServer server;
    ASSERT_TRUE(server.start({1280, 1024})) << server.error().toStdString();
    // Weston's pointer stands still in the output's top-left corner (Weston::kPointerBox).
    Weston weston;
    ASSERT_TRUE(weston.start(server, {1024, 768})) << weston.error().toStdString();
    const QRect output = weston.output();
    auto keys = [&](const QStringList& names) {
        return server.xdotool(QStringList{"key", "--window", QString::number(weston.xWindow())} +
                              names);
    };
    auto shot = [&] { return server.probe().grab(output); };
    // The settings window, found on the desktop: where the pixels differ from the background.
    auto windowArea = [&] {
        QImage desktop = shot();
        Weston::withoutPointer(desktop);
        return areaNot(desktop, Weston::kBackground);
    };

    program.environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("wayland"));
    program.environment.insert(QStringLiteral("WAYLAND_DISPLAY"), weston.socket());
    program.environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), weston.runtimeDir());
    program.environment.insert(QStringLiteral("QT_FATAL_WARNINGS"), QStringLiteral("1"));
    program.start();

    // The splash, then the settings window with its decoration, wherever weston puts it.
    QRect window, previous;
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            if (!program.running())
                return true;
            previous = std::exchange(window, windowArea());
            return window == previous && window.width() >= kSettingsWindowSize.width() &&
                   window.height() > kSettingsWindowSize.height();
        },
        kSessionWaitMs))
        << "no settings window";
    ASSERT_TRUE(program.running()) << program.process.readAllStandardError().toStdString();

    const QImage typedFrom = shot();
    ASSERT_TRUE(keys(kSixtySecondKeys));
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return !changedArea(typedFrom, shot()).isEmpty(); }, kSessionWaitMs));
    // The settings window as it stands, over a second and a half: the text cursor blinks, and
    // the pixels it covers are left out of the comparisons below.
    QTest::qWait(500);
    const QImage before = shot();
    QImage blinking(before.size(), QImage::Format_RGB32);
    blinking.fill(black);
    for (int i = 0; i < 15; ++i) {
        QTest::qWait(100);
        markChanges(before, shot(), blinking);
    }
    // No more than the text cursor may be left out.
    ASSERT_LE(areaNot(blinking, black).width(), 4);

    // Start: the whole output black, the first picture unscaled in the middle (centred across,
    // and down within the part above the guide rows), and nothing else outside the guide rows
    // at the bottom: no pointer either, although it stands over the viewer in the top-left
    // corner.
    ASSERT_TRUE(keys({"Return"}));
    const std::pair<QRgb, QSize> pictures[] = {{red, QSize(200, 120)}, {blue, QSize(160, 100)}};
    auto showing = [&](const QImage& image, QRgb colour, QSize size) {
        const int rows = image.height() * 4 / 5;
        QImage rest = image.copy(0, 0, image.width(), rows);
        const auto [area, solid] = solidArea(rest, colour);
        if (!solid || area.size() != size || area.left() != (image.width() - size.width()) / 2 ||
            area.top() < (rows - size.height()) / 2 ||
            area.top() > (image.height() - size.height()) / 2)
            return false;
        for (int y = area.top(); y <= area.bottom(); ++y) {
            for (int x = area.left(); x <= area.right(); ++x)
                rest.setPixel(x, y, black);
        }
        return areaNot(rest, black).isEmpty();
    };
    int first = -1;
    QImage viewer;
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            viewer = shot();
            for (int i = 0; i < 2 && first < 0; ++i) {
                if (showing(viewer, pictures[i].first, pictures[i].second))
                    first = i;
            }
            return first >= 0 || !program.running();
        },
        kSessionWaitMs))
        << "the viewer did not show a picture full screen";
    ASSERT_GE(first, 0) << program.process.readAllStandardError().toStdString();
    EXPECT_EQ(viewer.pixel(0, 0), black);
    EXPECT_EQ(viewer.pixel(output.width() - 1, 0), black);

    // Right: the other picture.
    ASSERT_TRUE(keys({"Right"}));
    const auto& [otherColour, otherSize] = pictures[1 - first];
    EXPECT_TRUE(
        QTest::qWaitFor([&] { return showing(shot(), otherColour, otherSize); }, kSessionWaitMs))
        << "Right did not step to the other picture";

    // Home (real size on), Esc: the settings window again, as before but for the RealSize box.
    ASSERT_TRUE(keys({"Home", "Escape"}));
    QRect changed, lastChanged;
    const bool back = QTest::qWaitFor(
        [&] {
            lastChanged = std::exchange(changed, changedArea(before, shot(), blinking));
            return changed == lastChanged && !changed.isEmpty() && changed.width() <= 69 &&
                   changed.height() <= 17;
        },
        kSessionWaitMs);
    EXPECT_TRUE(back) << "after Esc, the settings window differs from its first shot in "
                      << changed.x() << "," << changed.y() << " " << changed.width() << "x"
                      << changed.height();
    // Where the RealSize box is: (124, 76) 69 x 17 in the window's client area, which Qt's
    // decoration borders evenly at the sides and the bottom and with its title bar on top.
    const int border = (window.width() - kSettingsWindowSize.width()) / 2;
    const QPoint client(window.left() + border,
                        window.bottom() + 1 - border - kSettingsWindowSize.height());
    EXPECT_TRUE(QRect(124, 76, 69, 17).translated(client).contains(changed))
        << changed.x() - client.x() << "," << changed.y() - client.y() << " in the client area";

    ASSERT_TRUE(keys({"Escape"}));
    program.expectEnded();
}

} // namespace
} // namespace orlix::test
