// The real program natively on Wayland: weston, nested in a private Xvfb, with the program as
// its Wayland client, watched from outside through shots of the X screen. Any Qt warning ends
// the program here (QT_FATAL_WARNINGS), so a clean exit means that none came.
#include "ShotAreas.h"
#include "Weston.h"
#include "support/ProgramRun.h"
#include "support/XvfbServer.h"

#include <QPainter>
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
    auto keys = [&](const QStringList& names) {
        return server.xdotool(QStringList{"key", "--window", QString::number(weston.xWindow())} +
                              names);
    };
    auto shot = [&] { return server.probe().grab(weston.output()); };
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

    // Start: the whole output black, the first picture unscaled in the middle (centred across,
    // and down within the part above the guide rows), and nothing else outside the guide rows
    // at the bottom: no pointer either, although it stands over the viewer in the top-left
    // corner.
    ASSERT_TRUE(keys(kSixtySecondKeys + QStringList{"Return"}));
    const std::pair<QRgb, QSize> pictures[] = {{red, QSize(200, 120)}, {blue, QSize(160, 100)}};
    auto showing = [&](const QImage& image, QRgb colour, QSize size) {
        const int rows = image.height() * 4 / 5;
        QImage rest = image.copy(0, 0, image.width(), rows);
        const auto [area, solid] = solidArea(rest, colour);
        if (!solid || area.size() != size || area.left() != (image.width() - size.width()) / 2 ||
            area.top() < (rows - size.height()) / 2 ||
            area.top() > (image.height() - size.height()) / 2)
            return false;
        QPainter(&rest).fillRect(area, QColor(black));
        return areaNot(rest, black).isEmpty();
    };
    int first = -1;
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            const QImage viewer = shot();
            for (int i = 0; i < 2 && first < 0; ++i) {
                if (showing(viewer, pictures[i].first, pictures[i].second))
                    first = i;
            }
            return first >= 0 || !program.running();
        },
        kSessionWaitMs))
        << "the viewer did not show a picture full screen";
    ASSERT_GE(first, 0) << program.process.readAllStandardError().toStdString();

    // Right: the other picture.
    ASSERT_TRUE(keys({"Right"}));
    const auto& [otherColour, otherSize] = pictures[1 - first];
    EXPECT_TRUE(
        QTest::qWaitFor([&] { return showing(shot(), otherColour, otherSize); }, kSessionWaitMs))
        << "Right did not step to the other picture";

    // Esc: the settings window again, where it stood.
    ASSERT_TRUE(keys({"Escape"}));
    EXPECT_TRUE(QTest::qWaitFor([&] { return windowArea() == window; }, kSessionWaitMs))
        << "after Esc, no settings window where it stood";

    ASSERT_TRUE(keys({"Escape"}));
    program.expectEnded();
}

} // namespace
} // namespace orlix::test
