// The real program run as a user runs it, without a display and on a private Xvfb, watched
// from outside only: the windows the X server holds, the screen, the exit status and every
// byte the program prints.
#include "support/ProgramRun.h"
#include "support/ShotAreas.h"
#include "support/XvfbServer.h"

#include "app/QuietMessages.h"

#include <QTest>
#include <gtest/gtest.h>

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

} // namespace
} // namespace orlix::test
