#include "FirstPictureRun.h"

#include "X11Driving.h"
#include "common/PhotoJpeg.h"
#include "support/ChildProcess.h"
#include "support/XvfbServer.h"

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
constexpr int kWaitMs = 30000;
// 60 s: a one-photo show at the default 1 s would end before a slow first picture.
constexpr int kIntervalSeconds = 60;

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

} // namespace

FirstPictureRun::FirstPictureRun() : photo_(folder_.filePath(QStringLiteral("photo.jpg"))) {
    QFile file(photo_);
    if (!file.open(QIODevice::WriteOnly) || file.write(patchedPhoto()) <= 0)
        qFatal("cannot write the photo");
}

FirstPictureTimes FirstPictureRun::run(const test::XvfbServer& display, ScreenWatch& watch,
                                       Program program) {
    QProcess process;
    process.setProcessEnvironment(viewerEnvironment(display, home_.path()));
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    std::function<void()> launch;
    if (program == Program::Orlix) {
        process.start(QStringLiteral(ORLIX_BIN_DIR "/orlix"), {});
        const std::uint32_t settings = settingsWindow(watch);
        if (!settings) {
            std::fprintf(stderr, "no settings window\n");
            test::endProcess(process);
            return {};
        }
        typeSettings(display, watch, settings, {folder_.path(), kIntervalSeconds, false});
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
    test::endProcess(process);
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
