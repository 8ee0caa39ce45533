#pragma once

#include "ProcessTree.h"

#include <QProcess>
#include <QString>
#include <QTemporaryDir>

#include <cstdint>
#include <utility>
#include <vector>

namespace orlix::test {
class XvfbServer;
}

namespace orlix::bench {

class ScreenWatch;
class ShowPhotos;

// The two viewers measured.
enum class Viewer { Orlix, Feh };

// What a slide show cost a viewer, all its processes counted.
struct ShowFigures {
    QString error; // empty when measured
    // Over whole slides of the steady show: from one photo coming on screen to a later one.
    int slides = 0;
    double seconds = 0;
    double processorSeconds = 0;
    double serverSeconds = 0; // the X server's, over the same time
    // PSS, KiB: the highest of the samples from Start to the end of the steady show.
    std::int64_t peakPssKiB = 0;
    // Orlix only: at the settings window before any show, and back there after the show.
    std::int64_t settingsPssKiB = -1;
    std::int64_t afterShowPssKiB = -1;
    int unreadable = 0; // processes whose PSS could not be read, in any sample

    double processorMsPerSlide() const { return slides > 0 ? processorSeconds * 1000 / slides : 0; }
    double serverMsPerSlide() const { return slides > 0 ? serverSeconds * 1000 / slides : 0; }
};

// What Orlix did while a show rested between two slides with the next photo decoded ahead.
struct IdleFigures {
    QString error;
    double seconds = 0;
    double tickSeconds = 0;    // every process, ended threads included (10 ms ticks)
    std::int64_t threadNs = 0; // the threads alive at both ends, from the scheduler
    int threads = 0;           // alive at the end
    int threadsStarted = 0;    // threads that came or went in between
    int threadsEnded = 0;
    std::vector<std::pair<QString, std::int64_t>> busiest; // ns, the busiest threads first
};

// Shows of the measured photos on an X server, one viewer at a time, as a user would run them:
// Orlix started, its settings window given the folder, the interval and Loop by keys, Enter;
// feh started as `feh -F -Z -D <interval> <folder>`.
class ShowRun {
public:
    ShowRun(const test::XvfbServer& display, ScreenWatch& watch, const ShowPhotos& photos);

    // A show at `intervalSeconds` with Loop on, measured over at least `steadySeconds` of
    // whole slides once two have gone by; on core 0 alone when `oneCore`.
    ShowFigures show(Viewer viewer, bool oneCore, int intervalSeconds, int steadySeconds);

    // Orlix's show at `intervalSeconds`, measured between `gaps` pairs of slides, from the
    // second slide on: each from `settleSeconds` after a slide came to `settleSeconds` before
    // the next is due.
    std::vector<IdleFigures> idle(int intervalSeconds, double settleSeconds, int gaps);

private:
    // Starts `viewer` and brings it to its first photo; false, with `error`, when it fails.
    bool start(QProcess& process, Viewer viewer, bool oneCore, int intervalSeconds,
               ShowFigures& figures);
    // Waits up to `timeoutMs` for a photo other than `shown` to come on screen; its number, or
    // -1. Samples PSS meanwhile into `figures` when given.
    int nextPhoto(const ProcessTree& tree, int shown, int timeoutMs, ShowFigures* figures);
    // Measures the rest after photo `shown` came, at once after it came.
    IdleFigures restAfterSlide(const ProcessTree& tree, int shown, int intervalSeconds,
                               double settleSeconds);
    // Waits until the tree has taken no processor time for a while.
    void settle(const ProcessTree& tree);

    const test::XvfbServer& display_;
    ScreenWatch& watch_;
    const ShowPhotos& photos_;
    QTemporaryDir home_;
};

} // namespace orlix::bench
