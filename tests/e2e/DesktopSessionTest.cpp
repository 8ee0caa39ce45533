// The real program run as a user runs it, without a display, on a private Xvfb and natively on
// Wayland (weston, nested in a private Xvfb, with the program as its Wayland client), watched
// from outside only: the windows the X server holds, the screen, the exit status and every byte
// the program prints. On Wayland any Qt warning ends the program (QT_FATAL_WARNINGS), so a clean
// exit means that none came.
#include "app/QuietMessages.h"
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

TEST(X11Session, WithoutAReachableDisplayPrintsOneSentence) {
    const std::pair<const char*, const char*> platforms[] = {{"xcb", "DISPLAY"},
                                                             {"wayland", "WAYLAND_DISPLAY"}};
    for (const auto& [platform, variable] : platforms) {
        SCOPED_TRACE(platform);
        ProgramRun program(kProgram);
        program.environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QLatin1String(platform));
        // Neither an X server nor a Wayland compositor answers there.
        program.environment.insert(QLatin1String(variable),
                                   program.folder.rootText() + QStringLiteral("/none:7"));
        program.start();
        // Qt's own complaints before its fatal one are not among it.
        program.expectEnded(1, kNoDisplaySentence);
    }
}

// Damaged pictures: the decoders' complaints must not reach the terminal.
TEST(X11Session, ShowOfDamagedPicturesPrintsNothing) {
    const QByteArray jpeg = pictureFile({160, 120}, qRgb(200, 40, 40), "JPEG");
    QByteArray bmp = pictureFile({16, 16}, qRgb(0, 0, 255), "BMP");
    bmp.replace(14, 4, QByteArray::fromHex("ffffff7f")); // a DIB header "2 GB long"
    // A one-pixel GIF cut off inside its palette.
    const QByteArray gif = QByteArray::fromHex("47494638396101000100800000000000");
    ProgramRun program(kProgram, {{"1-good.bmp", pictureFile({80, 60}, qRgb(0, 160, 0), "BMP")},
                                  {"2-truncated.jpg", jpeg.left(jpeg.size() / 2)},
                                  {"3-truncated.gif", gif},
                                  {"4-bad-header.bmp", bmp},
                                  {"5-text.jpg", "This is a note, not a picture.\n"}});
    XvfbServer server;
    ASSERT_TRUE(server.start({1024, 768})) << server.error().toStdString();
    const auto programWindow = [&server](QSize size) -> std::optional<XWindow> {
        for (const XWindow& window : server.probe().viewableWindows())
            if (window.name == QLatin1String("Orlix") && window.onRoot.size() == size)
                return window;
        return std::nullopt;
    };
    program.environment.insert(QStringLiteral("DISPLAY"), server.display());
    program.environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    program.start();

    // The splash, then the settings window.
    std::optional<XWindow> settings;
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            settings = programWindow(kSettingsWindowSize);
            return settings || !program.running();
        },
        kSessionWaitMs))
        << "no settings window";
    ASSERT_TRUE(settings) << program.process.readAllStandardError().toStdString();
    const QString settingsId = QString::number(settings->id);
    ASSERT_TRUE(server.xdotool(QStringList{"key", "--window", settingsId} + kSixtySecondKeys +
                               QStringList{"Return"}));

    const QSize screen(1024, 768);
    std::optional<XWindow> viewer;
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return bool(viewer = programWindow(screen)); }, kSessionWaitMs))
        << "no viewer";
    const QString viewerId = QString::number(viewer->id);
    // The first file, then at each Right the next: its picture, or for a damaged one its path in
    // the caption; the guide at least is never black.
    QImage shown;
    for (int step = 0; step < 5; ++step) {
        ASSERT_TRUE(step == 0 || server.xdotool({"key", "--window", viewerId, "Right"}));
        ASSERT_TRUE(QTest::qWaitFor(
            [&] {
                const QImage next = server.probe().grab(QRect(QPoint(), screen));
                const bool changed = next != shown && !areaNot(next, qRgb(0, 0, 0)).isEmpty();
                shown = changed ? next : shown;
                return changed;
            },
            kSessionWaitMs))
            << "step " << step << " changed nothing";
        ASSERT_TRUE(programWindow(screen)) << "the viewer closed at step " << step;
    }
    // Esc closes each window on the key press; xdotool then fails to send the release to the
    // window, which is gone. Only the effect counts.
    server.xdotool({"key", "--window", viewerId, "Escape"});
    ASSERT_TRUE(QTest::qWaitFor([&] { return !programWindow(screen); }, kSessionWaitMs));
    server.xdotool({"key", "--window", settingsId, "Escape"});

    program.expectEnded();
}

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
