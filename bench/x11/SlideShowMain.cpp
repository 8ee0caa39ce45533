// What a slide show costs Orlix against feh on a real X server (Xvfb at 1280 x 1024,
// 1920 x 1080 and 3840 x 2160): twelve photos (six of 6000 x 4000, six of 2000 x 1500, written
// by Qt without colour profiles), a 2 s interval, Loop on, measured over at least 30 s of whole
// slides once two have gone by.
//
// Each viewer is run as a user would: Orlix started, the folder, Loop and the interval typed
// into its settings window with XTest keys, Enter; feh as `feh -F -Z -D 2 <folder>`. Counted for
// each: the processor time (user and system) of every process of the viewer (for Orlix the
// program, its decoders' forking process, the decoder processes and its helper) over the slides
// the screen showed (the screen's centre names the photo); the peak PSS of all of them from
// Start on; for Orlix the PSS at the settings window before any show and back there after it.
// The same with both viewers on core 0 alone (taskset) at 1280 x 1024 and 1920 x 1080. Last,
// Orlix's processor time while a show at a 10 s interval rests between two slides.
//   slide_show_x11 [--seconds N] [--screen WxH | --idle]
// --seconds: the steady show's length; --screen: that screen's shows alone; --idle: the rest
// between slides alone.
// Exit status: 0 measured, 1 a run failed, 77 no X server, feh, xdotool or taskset to run.

#include "ShowPhotos.h"
#include "ShowRun.h"
#include "WatchedXvfb.h"
#include "X11Driving.h"

#include <QCoreApplication>

#include <algorithm>
#include <cstdio>

namespace {

using namespace orlix::bench;

constexpr int kSkipped = 77;
constexpr int kIntervalSeconds = 2;
constexpr int kSteadySeconds = 30;
// Between two slides of a 10 s show: from 1 s after a slide to 1 s before the next.
constexpr int kIdleIntervalSeconds = 10;
constexpr double kIdleSettleSeconds = 1.0;
constexpr QSize kIdleScreen(1920, 1080);
// Two rests: the photos alternate between the two sizes.
constexpr int kGaps = 2;

// Orlix against feh, at most.
constexpr double kProcessorTarget = 0.6;
constexpr double kPeakPssTarget = 0.8;
constexpr double kSettingsPssTargetMiB = 60;
constexpr double kIdleTargetMs = 10;

struct Screen {
    QSize size;
    bool oneCore; // measured on one core too
};
constexpr Screen kScreens[] = {{{1280, 1024}, true}, {{1920, 1080}, true}, {{3840, 2160}, false}};

double mib(std::int64_t kib) {
    return double(kib) / 1024;
}

const char* verdict(double value, double target) {
    return value <= target ? "met" : "missed";
}

void print(const char* label, const char* viewer, const ShowFigures& f) {
    std::printf("%s %-5s %2d slides in %4.1f s: %6.1f ms a slide (X server %5.1f ms), peak PSS "
                "%6.1f MiB",
                label, viewer, f.slides, f.seconds, f.processorMsPerSlide(), f.serverMsPerSlide(),
                mib(f.peakPssKiB));
    if (f.settingsPssKiB >= 0)
        std::printf("; settings window %5.1f MiB", mib(f.settingsPssKiB));
    if (f.afterShowPssKiB >= 0)
        std::printf(", after the show %5.1f MiB", mib(f.afterShowPssKiB));
    if (f.unreadable > 0)
        std::printf(" (PSS of %d processes unreadable)", f.unreadable);
    std::printf("\n");
}

// Both viewers' shows on one screen; false when one failed.
bool compare(const char* label, ShowRun& runner, bool oneCore, int steadySeconds) {
    std::printf("%s load averages %s\n", label, qPrintable(loadAverages()));
    const ShowFigures orlix = runner.show(Viewer::Orlix, oneCore, kIntervalSeconds, steadySeconds);
    const ShowFigures feh = runner.show(Viewer::Feh, oneCore, kIntervalSeconds, steadySeconds);
    for (const ShowFigures* figures : {&orlix, &feh}) {
        if (!figures->error.isEmpty()) {
            std::fprintf(stderr, "%s %s: %s\n", label, figures == &orlix ? "orlix" : "feh",
                         qPrintable(figures->error));
            return false;
        }
    }
    print(label, "orlix", orlix);
    print(label, "feh", feh);
    const double processor = orlix.processorMsPerSlide() / feh.processorMsPerSlide();
    std::printf("%s orlix/feh: processor time a slide %.2fx (target <= %.1fx: %s)", label,
                processor, kProcessorTarget, verdict(processor, kProcessorTarget));
    if (!oneCore) {
        const double peak = double(orlix.peakPssKiB) / double(feh.peakPssKiB);
        std::printf(", peak PSS %.2fx (target <= %.1fx: %s); settings window %.1f MiB "
                    "(target <= %.0f MiB: %s)",
                    peak, kPeakPssTarget, verdict(peak, kPeakPssTarget), mib(orlix.settingsPssKiB),
                    kSettingsPssTargetMiB,
                    verdict(mib(orlix.settingsPssKiB), kSettingsPssTargetMiB));
    }
    std::printf("\n");
    std::fflush(stdout);
    return true;
}

bool measureScreen(const Screen& screen, const ShowPhotos& photos, int steadySeconds) {
    WatchedXvfb server;
    if (!server.open(screen.size))
        return false;
    ShowRun runner(server.display(), server.watch(), photos);
    const QByteArray size =
        QStringLiteral("%1x%2").arg(screen.size.width()).arg(screen.size.height()).toLatin1();
    bool ok = compare((size + " two cores").constData(), runner, false, steadySeconds);
    if (screen.oneCore)
        ok = compare((size + " one core ").constData(), runner, true, steadySeconds) && ok;
    return ok;
}

bool measureIdle(const ShowPhotos& photos) {
    WatchedXvfb server;
    if (!server.open(kIdleScreen))
        return false;
    ShowRun runner(server.display(), server.watch(), photos);
    std::printf("%dx%d idle, load averages %s\n", kIdleScreen.width(), kIdleScreen.height(),
                qPrintable(loadAverages()));
    bool ok = true;
    for (const IdleFigures& idle : runner.idle(kIdleIntervalSeconds, kIdleSettleSeconds, kGaps)) {
        if (!idle.error.isEmpty()) {
            std::fprintf(stderr, "idle: %s\n", qPrintable(idle.error));
            ok = false;
            continue;
        }
        const double ms = double(idle.threadNs) / 1e6;
        std::printf("%dx%d idle between slides (%d s interval, %.1f s measured): %.2f ms of the "
                    "threads' time (target < %.0f ms: %s); %.0f ms in 10 ms ticks with ended "
                    "threads; of %d threads, %d started and %d ended meanwhile\n",
                    kIdleScreen.width(), kIdleScreen.height(), kIdleIntervalSeconds, idle.seconds,
                    ms, kIdleTargetMs, ms < kIdleTargetMs ? "met" : "missed",
                    idle.tickSeconds * 1000, idle.threads, idle.threadsStarted, idle.threadsEnded);
        for (const auto& [name, ns] : idle.busiest)
            std::printf("    %-32s %8.3f ms\n", qPrintable(name), double(ns) / 1e6);
    }
    std::fflush(stdout);
    return ok;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList arguments = app.arguments();
    const auto option = [&arguments](const char* name) {
        const int at = arguments.indexOf(QLatin1String(name));
        return at > 0 && at + 1 < arguments.size() ? arguments[at + 1] : QString();
    };
    const int steadySeconds =
        std::max(kIntervalSeconds,
                 option("--seconds").isEmpty() ? kSteadySeconds : option("--seconds").toInt());
    const QString onlyScreen = option("--screen");
    const bool idleOnly = arguments.contains(QStringLiteral("--idle"));
    if (!canRun("slide_show_x11", {"Xvfb", "feh", "xdotool", "taskset"}))
        return kSkipped;
    const ShowPhotos photos;
    int status = 0;
    for (const Screen& screen : kScreens) {
        const QString size =
            QStringLiteral("%1x%2").arg(screen.size.width()).arg(screen.size.height());
        if (idleOnly || (!onlyScreen.isEmpty() && onlyScreen != size))
            continue;
        if (!measureScreen(screen, photos, steadySeconds))
            status = 1;
    }
    if (onlyScreen.isEmpty() && !measureIdle(photos))
        status = 1;
    return status;
}
