// From the key press that starts a show to its first picture on the screen of a real X server
// (Xvfb at 1920 x 1080 and at 3840 x 2160), for this program and for feh, on the same
// 6000 x 4000 JPEG photo.
//
// Orlix: started beforehand, its settings window given the folder; the key is the Enter that
// starts the show. feh: the key goes to a small launcher window of this harness, whose key
// handler starts `feh -F <photo>`; feh's figure therefore includes its process start, as a
// file manager's would. The key is XTest input timed as it is sent; the picture counts as
// shown when the server's screen has its centre patch (XDamage on the root window, then the
// centre pixel read back). One untimed run of each program comes first.
//   first_picture_x11 [--runs N]
// Exit status: 0 measured, 1 a run failed, 77 no X server, feh or xdotool to run.

#include "ScreenWatch.h"
#include "XvfbDisplay.h"
#include "common/PhotoJpeg.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QPainter>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

using namespace orlix::bench;

constexpr int kSkipped = 77;
constexpr int kPhotoWidth = 6000, kPhotoHeight = 4000;
constexpr QRgb kPatch = qRgb(220, 20, 180); // the photo's centre, matched on screen
constexpr int kPatchTolerance = 24;         // JPEG, scaling and colour transforms move it a bit
constexpr QSize kSettingsWindowSize(378, 136);
constexpr int kWaitMs = 30000;
constexpr int kTypedSettleMs = 500; // untimed: for the window and then the typed path to settle

struct Screen {
    QSize size;
    double target; // Orlix/feh at most
};
constexpr Screen kScreens[] = {{{1920, 1080}, 0.4}, {{3840, 2160}, 0.5}};

enum class Program { Orlix, Feh };

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

class Harness {
public:
    Harness() : photo_(folder_.filePath(QStringLiteral("photo.jpg"))) {
        QFile file(photo_);
        if (!file.open(QIODevice::WriteOnly) || file.write(patchedPhoto()) <= 0)
            qFatal("cannot write the photo");
        QDir(home_.path()).mkpath(QStringLiteral("runtime"));
        QFile::setPermissions(home_.filePath(QStringLiteral("runtime")),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }

    // One run; the times of a run that failed have no picture.
    FirstPictureTimes run(const XvfbDisplay& display, ScreenWatch& watch, Program program) {
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
            if (!waitUntil(
                    [&] { return (settings = watch.topLevelOfSize(kSettingsWindowSize)); })) {
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

private:
    std::uint32_t launcher(ScreenWatch& watch) {
        if (!launcher_)
            launcher_ = watch.openLauncher();
        return launcher_;
    }

    QTemporaryDir folder_;
    QTemporaryDir home_;
    QString photo_;
    std::uint32_t launcher_ = 0;
};

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// Median times of `runs` runs of each program on one screen; false when one failed.
bool measure(const Screen& screen, int runs) {
    XvfbDisplay display;
    if (!display.start(screen.size)) {
        std::fprintf(stderr, "%s\n", qPrintable(display.error()));
        return false;
    }
    ScreenWatch watch(display.name());
    if (!watch.error().isEmpty()) {
        std::fprintf(stderr, "%s\n", qPrintable(watch.error()));
        return false;
    }
    Harness harness;
    double medians[2] = {};
    for (const Program program : {Program::Orlix, Program::Feh}) {
        const char* name = program == Program::Orlix ? "orlix" : "feh";
        std::vector<double> mapped, damaged, shown;
        for (int i = 0; i <= runs; ++i) {
            const FirstPictureTimes times = harness.run(display, watch, program);
            if (times.picture < 0) {
                std::fprintf(stderr, "%s: no picture on the %dx%d screen (its centre: #%06x)\n",
                             name, screen.size.width(), screen.size.height(),
                             times.lastCentre & 0xffffff);
                return false;
            }
            if (i == 0)
                continue; // the untimed run: caches filled, the photo read once
            mapped.push_back(times.windowMapped);
            damaged.push_back(times.firstDamage);
            shown.push_back(times.picture);
        }
        medians[int(program)] = median(shown);
        std::printf("%dx%d %-5s picture %7.1f ms  (window mapped %6.1f, first change %6.1f; "
                    "median of %d)\n",
                    screen.size.width(), screen.size.height(), name, median(shown), median(mapped),
                    median(damaged), runs);
    }
    const double ratio = medians[int(Program::Orlix)] / medians[int(Program::Feh)];
    std::printf("%dx%d orlix/feh %.2f (target <= %.2f: %s)\n", screen.size.width(),
                screen.size.height(), ratio, screen.target,
                ratio <= screen.target ? "met" : "missed");
    std::fflush(stdout);
    return true;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    int runs = 5;
    const QStringList arguments = app.arguments();
    const int at = arguments.indexOf(QStringLiteral("--runs"));
    if (at > 0 && at + 1 < arguments.size())
        runs = std::max(1, arguments[at + 1].toInt());
    for (const char* tool : {"Xvfb", "feh", "xdotool"}) {
        if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty()) {
            std::printf("first_picture_x11: skipped, %s is not installed\n", tool);
            return kSkipped;
        }
    }
    {
        XvfbDisplay probe;
        if (!probe.start(QSize(640, 480))) {
            std::printf("first_picture_x11: skipped, %s\n", qPrintable(probe.error()));
            return kSkipped;
        }
    }
    int status = 0;
    for (const Screen& screen : kScreens) {
        if (!measure(screen, runs))
            status = 1;
    }
    return status;
}
