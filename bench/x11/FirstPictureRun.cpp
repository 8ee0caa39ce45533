#include "FirstPictureRun.h"

#include "XvfbDisplay.h"
#include "common/PhotoJpeg.h"

#include <QDir>
#include <QFile>
#include <QPainter>
#include <QProcess>
#include <QThread>

#include <cstdio>
#include <cstdlib>
#include <functional>

namespace orlix::bench {

namespace {

constexpr int kPhotoWidth = 6000, kPhotoHeight = 4000;
constexpr QRgb kPatch = qRgb(220, 20, 180); // the photo's centre, matched on screen
constexpr int kPatchTolerance = 24;         // JPEG, scaling and colour transforms move it a bit
constexpr QSize kSettingsWindowSize(378, 136);
constexpr int kWaitMs = 30000;
constexpr int kTypedSettleMs = 500; // untimed: for the window and then the typed path to settle

bool isPatch(QRgb pixel) {
    return std::abs(qRed(pixel) - qRed(kPatch)) <= kPatchTolerance &&
           std::abs(qGreen(pixel) - qGreen(kPatch)) <= kPatchTolerance &&
           std::abs(qBlue(pixel) - qBlue(kPatch)) <= kPatchTolerance;
}

QByteArray patchedPhoto() {
    QImage image = photoImage(kPhotoWidth, kPhotoHeight);
    QPainter(&image).fillRect(
        QRect(kPhotoWidth * 2 / 5, kPhotoHeight * 2 / 5, kPhotoWidth / 5, kPhotoHeight / 5),
        QColor(kPatch));
    return jpegOf(image);
}

void end(QProcess& process) {
    if (process.state() == QProcess::NotRunning)
        return;
    process.terminate();
    if (!process.waitForFinished(5000))
        process.kill();
    process.waitForFinished(5000);
}

// Polls: only for the untimed parts of a run, never for the picture itself.
bool waitUntil(const std::function<bool()>& done) {
    for (int waited = 0; waited < kWaitMs; waited += 20) {
        if (done())
            return true;
        QThread::msleep(20);
    }
    return false;
}

bool xdotool(const XvfbDisplay& display, const QStringList& arguments) {
    QProcess process;
    process.setProcessEnvironment(display.environment());
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    process.start(QStringLiteral("xdotool"), arguments);
    return process.waitForFinished(kWaitMs) && process.exitCode() == 0;
}

} // namespace

FirstPictureRun::FirstPictureRun() : photo_(folder_.filePath(QStringLiteral("photo.jpg"))) {
    QFile file(photo_);
    if (!file.open(QIODevice::WriteOnly) || file.write(patchedPhoto()) <= 0)
        qFatal("cannot write the photo");
    QDir(home_.path()).mkpath(QStringLiteral("runtime"));
    QFile::setPermissions(home_.filePath(QStringLiteral("runtime")),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

FirstPictureTimes FirstPictureRun::run(const XvfbDisplay& display, ScreenWatch& watch,
                                       Program program) {
    QProcessEnvironment environment = display.environment();
    environment.insert(QStringLiteral("HOME"), home_.path());
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), home_.filePath("runtime"));
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
    QProcess process;
    process.setProcessEnvironment(environment);
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    std::function<void()> launch;
    if (program == Program::Orlix) {
        process.start(QStringLiteral(ORLIX_BIN_DIR "/orlix"), {});
        std::uint32_t settings = 0;
        if (!waitUntil([&] { return (settings = watch.topLevelOfSize(kSettingsWindowSize)); })) {
            std::fprintf(stderr, "no settings window\n");
            end(process);
            return {};
        }
        // Mapped is not yet ready for keys: the window takes them once Qt has shown it.
        QThread::msleep(kTypedSettleMs);
        watch.focus(settings);
        xdotool(display, {"key", "--clearmodifiers", "ctrl+a"});
        xdotool(display, {"type", "--delay", "1", folder_.path()});
        // 60 s in the interval box, the seventh control: a one-photo show at the default
        // 1 s would end before a slow first picture.
        xdotool(display, {"key", "Tab", "Tab", "Tab", "Tab", "Tab", "Tab", "End", "BackSpace",
                          "BackSpace", "6", "0"});
        QThread::msleep(kTypedSettleMs);
    } else {
        watch.focus(launcher(watch));
        launch = [&] { process.start(QStringLiteral("feh"), {QStringLiteral("-F"), photo_}); };
    }
    FirstPictureTimes times;
    if (isPatch(watch.centre()))
        std::fprintf(stderr, "the photo was on screen before the key\n");
    else
        times = watch.pressReturnUntil(isPatch, launch, kWaitMs);
    if (times.picture < 0) {
        const QString shot = QDir::temp().filePath(QStringLiteral("first-picture-failed.png"));
        if (watch.screen().save(shot))
            std::fprintf(stderr, "what the screen showed: %s\n", qPrintable(shot));
    }
    end(process);
    // The next run starts from a screen without the photo.
    waitUntil([&] { return !isPatch(watch.centre()); });
    return times;
}

std::uint32_t FirstPictureRun::launcher(ScreenWatch& watch) {
    if (!launcher_)
        launcher_ = watch.openLauncher();
    return launcher_;
}

} // namespace orlix::bench
