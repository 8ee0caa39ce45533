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

#include "FirstPictureRun.h"
#include "WatchedXvfb.h"
#include "X11Driving.h"

#include <QCoreApplication>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

using namespace orlix::bench;

constexpr int kSkipped = 77;

struct Screen {
    QSize size;
    double target; // Orlix/feh at most
};
constexpr Screen kScreens[] = {{{1920, 1080}, 0.4}, {{3840, 2160}, 0.5}};

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// Median times of `runs` runs of each program on one screen; false when one failed.
bool measure(const Screen& screen, int runs) {
    WatchedXvfb server;
    if (!server.open(screen.size))
        return false;
    const orlix::test::XvfbServer& display = server.display();
    ScreenWatch& watch = server.watch();
    FirstPictureRun runner;
    std::printf("%dx%d load averages %s\n", screen.size.width(), screen.size.height(),
                qPrintable(loadAverages()));
    double medians[2] = {};
    for (const Program program : {Program::Orlix, Program::Feh}) {
        const char* name = program == Program::Orlix ? "orlix" : "feh";
        std::vector<double> mapped, damaged, shown;
        for (int i = 0; i <= runs; ++i) {
            const FirstPictureTimes times = runner.run(display, watch, program);
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
    if (!canRun("first_picture_x11", {"Xvfb", "feh", "xdotool"}))
        return kSkipped;
    int status = 0;
    for (const Screen& screen : kScreens) {
        if (!measure(screen, runs))
            status = 1;
    }
    return status;
}
