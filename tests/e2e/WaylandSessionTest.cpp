// The real program natively on Wayland: weston, nested in a private Xvfb, with the program as
// its Wayland client, watched from outside through shots of the X screen. Any Qt warning ends
// the program here (QT_FATAL_WARNINGS), so a clean exit means that none came.
#include "support/ChildProcess.h"
#include "support/ProgramRun.h"
#include "support/ShotAreas.h"
#include "support/XvfbServer.h"

#include <QFile>
#include <QFileInfo>
#include <QPainter>
#include <QTest>
#include <gtest/gtest.h>

#include <utility>

namespace orlix::test {
namespace {

const QString kProgram = QStringLiteral(ORLIX_BIN_DIR "/orlix");
constexpr int kWestonStartMs = 60000;
constexpr QRgb kBackground = 0xff204060;
const QString kSocket = QStringLiteral("wayland-orlix");

// A shot of weston's output with its pointer, which stays in the top-left corner, painted over.
QImage withoutPointer(QImage shot) {
    QPainter(&shot).fillRect(QRect(0, 0, 32, 32), QColor(kBackground));
    return shot;
}

// Starts weston nested in the X server through its X11 backend: one output of `size` in an X
// window at the root's top-left corner, a plain background, no panel, no animations, no
// on-screen keyboard (it would show under every focused text box), no screen locking; its socket
// is kSocket in `runtime`. Gives the X window that shows the output, once that shows the empty
// desktop.
void startWeston(const XvfbServer& server, QSize size, const QTemporaryDir& runtime,
                 QProcess& weston, XWindow& output) {
    const QString config = runtime.filePath(QStringLiteral("weston.ini"));
    QFile ini(config);
    ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
    ini.write(QStringLiteral("[core]\nidle-time=0\n[input-method]\npath=\n"
                             "[shell]\nbackground-color=0x%1\npanel-position=none\nlocking=false\n"
                             "animation=none\nclose-animation=none\nstartup-animation=none\n"
                             "focus-animation=none\n")
                  .arg(kBackground, 8, 16, QLatin1Char('0'))
                  .toLatin1());
    ini.close();
    QProcessEnvironment environment = server.environment();
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime.path());
    environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
    weston.setProcessEnvironment(environment);
    weston.setStandardOutputFile(QProcess::nullDevice());
    weston.setStandardErrorFile(runtime.filePath(QStringLiteral("weston.log")));
    weston.start(QStringLiteral("weston"),
                 {QStringLiteral("--backend=x11-backend.so"), QStringLiteral("--use-pixman"),
                  QStringLiteral("--socket=") + kSocket, QStringLiteral("--config=") + config,
                  QStringLiteral("--width=%1").arg(size.width()),
                  QStringLiteral("--height=%1").arg(size.height())});
    ASSERT_TRUE(weston.waitForStarted(10000)) << weston.errorString().toStdString();
    const auto log = [&runtime] {
        QFile file(runtime.filePath(QStringLiteral("weston.log")));
        return file.open(QIODevice::ReadOnly) ? file.readAll().right(2000).toStdString() : "";
    };
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            for (const XWindow& window : server.probe().viewableWindows()) {
                if (window.name.startsWith(QLatin1String("Weston Compositor")) &&
                    window.onRoot.size() == size)
                    output = window;
            }
            return weston.state() != QProcess::Running ||
                   (output.id != 0 && QFileInfo::exists(runtime.filePath(kSocket)));
        },
        kWestonStartMs));
    ASSERT_EQ(weston.state(), QProcess::Running) << log();
    // Weston draws its own pointer wherever the X pointer last was in its window: into the
    // output's top-left corner with it, then out of the window, where it moves nothing.
    const QPoint corner = output.onRoot.topLeft(), outside = output.onRoot.bottomRight();
    ASSERT_TRUE(
        server.xdotool({"mousemove", QString::number(corner.x()), QString::number(corner.y())}) &&
        server.xdotool(
            {"mousemove", QString::number(outside.x() + 8), QString::number(outside.y() + 8)}));
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            const QImage desktop = server.probe().grab(output.onRoot);
            return !desktop.isNull() && areaNot(withoutPointer(desktop), kBackground).isEmpty();
        },
        kWestonStartMs))
        << "weston did not show its desktop: " << log();
}

TEST(WaylandSession, ShowOnWestonWarnsOfNothing) {
    const QRgb red = qRgb(255, 0, 0), blue = qRgb(0, 0, 255), black = qRgb(0, 0, 0);
    ProgramRun program(kProgram, {{"a.bmp", pictureFile({200, 120}, red, "BMP")},
                                  {"b.bmp", pictureFile({160, 100}, blue, "BMP")}});
    XvfbServer server;
    ASSERT_TRUE(server.start({1280, 1024})) << server.error().toStdString();
    const QTemporaryDir runtime;
    const auto weston = childProcess();
    XWindow output;
    ASSERT_NO_FATAL_FAILURE(startWeston(server, {1024, 768}, runtime, *weston, output));
    auto keys = [&](const QStringList& names) {
        return server.xdotool(QStringList{"key", "--window", QString::number(output.id)} + names);
    };
    auto shot = [&] { return server.probe().grab(output.onRoot); };
    // The settings window, found on the desktop: where the pixels differ from the background.
    auto windowArea = [&] { return areaNot(withoutPointer(shot()), kBackground); };

    program.environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("wayland"));
    program.environment.insert(QStringLiteral("WAYLAND_DISPLAY"), kSocket);
    program.environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime.path());
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
    endProcess(*weston);
}

} // namespace
} // namespace orlix::test
