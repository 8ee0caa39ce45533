#include "ShowRun.h"

#include "ScreenWatch.h"
#include "ShowPhotos.h"
#include "X11Driving.h"
#include "support/ChildProcess.h"
#include "support/XvfbServer.h"

#include <QThread>

#include <algorithm>
#include <chrono>

namespace orlix::bench {

namespace {

using Clock = std::chrono::steady_clock;
using Ms = std::chrono::milliseconds;

constexpr std::uint32_t kReturnKeysym = 0xff0d; // XK_Return
constexpr std::uint32_t kEscapeKeysym = 0xff1b; // XK_Escape
constexpr int kFirstPhotoMs = 30000;
// How late a slide may come before the show counts as stuck: a decode on one core, say.
constexpr int kSlideGraceMs = 10000;
// Slides let go by before the steady show is measured: the first decodes, and the caches.
constexpr int kWarmSlides = 2;
constexpr int kPssSampleMs = 250;
// A tree is settled once it has taken no processor time (in 10 ms ticks) for this long.
constexpr int kSettleStepMs = 100, kQuietMs = 600, kSettleMostMs = 10000;
constexpr std::size_t kBusiestShown = 8;

int msUntil(Clock::time_point when) {
    return static_cast<int>(std::chrono::duration_cast<Ms>(when - Clock::now()).count());
}

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

void samplePss(const ProcessTree& tree, ShowFigures& figures) {
    int unreadable = 0;
    figures.peakPssKiB = std::max(figures.peakPssKiB, tree.pssKiB(&unreadable));
    figures.unreadable = std::max(figures.unreadable, unreadable);
}

} // namespace

ShowRun::ShowRun(const test::XvfbServer& display, ScreenWatch& watch, const ShowPhotos& photos)
    : display_(display), watch_(watch), photos_(photos) {}

void ShowRun::settle(const ProcessTree& tree) {
    double last = tree.processorSeconds();
    int quiet = 0;
    for (int waited = 0; waited < kSettleMostMs && quiet < kQuietMs; waited += kSettleStepMs) {
        QThread::msleep(kSettleStepMs);
        const double now = tree.processorSeconds();
        quiet = now == last ? quiet + kSettleStepMs : 0;
        last = now;
    }
}

int ShowRun::nextPhoto(const ProcessTree& tree, int shown, int timeoutMs, ShowFigures* figures) {
    const Clock::time_point deadline = Clock::now() + Ms(timeoutMs);
    Clock::time_point nextSample = Clock::now();
    for (;;) {
        if (figures && Clock::now() >= nextSample) {
            samplePss(tree, *figures);
            nextSample = Clock::now() + Ms(kPssSampleMs);
        }
        const Clock::time_point until = figures ? std::min(deadline, nextSample) : deadline;
        if (msUntil(deadline) <= 0)
            return -1;
        if (const std::optional<QRgb> centre = watch_.nextChange(std::max(1, msUntil(until)))) {
            const int photo = ShowPhotos::photoAt(*centre);
            if (photo >= 0 && photo != shown)
                return photo;
        }
    }
}

bool ShowRun::start(QProcess& process, Viewer viewer, bool oneCore, int intervalSeconds,
                    ShowFigures& figures) {
    process.setProcessEnvironment(viewerEnvironment(display_, home_.path()));
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    QString program = QStringLiteral(ORLIX_BIN_DIR "/orlix");
    QStringList arguments;
    if (viewer == Viewer::Feh) {
        program = QStringLiteral("feh");
        arguments =
            QStringList{"-F", "-Z", "-D", QString::number(intervalSeconds), photos_.folder()};
    }
    if (oneCore) {
        // taskset runs the viewer in its own process: every process the viewer starts inherits
        // the one core.
        arguments = QStringList{"-c", "0", program} + arguments;
        program = QStringLiteral("taskset");
    }
    process.start(program, arguments);
    if (!process.waitForStarted()) {
        figures.error = program + QStringLiteral(" does not start");
        return false;
    }
    const ProcessTree tree(process.processId());
    if (viewer == Viewer::Orlix) {
        const std::uint32_t window = settingsWindow(watch_);
        if (!window) {
            figures.error = QStringLiteral("no settings window");
            return false;
        }
        settle(tree);
        figures.settingsPssKiB = tree.pssKiB(&figures.unreadable);
        typeSettings(display_, watch_, window, {photos_.folder(), intervalSeconds, /*loop=*/true});
        watch_.pressKey(kReturnKeysym);
    }
    if (nextPhoto(tree, -1, kFirstPhotoMs, &figures) < 0) {
        figures.error = QStringLiteral("no photo came on screen");
        return false;
    }
    return true;
}

ShowFigures ShowRun::show(Viewer viewer, bool oneCore, int intervalSeconds, int steadySeconds) {
    ShowFigures figures;
    QProcess process;
    if (start(process, viewer, oneCore, intervalSeconds, figures)) {
        const ProcessTree tree(process.processId());
        const int slideMs = intervalSeconds * 1000 + kSlideGraceMs;
        int shown = ShowPhotos::photoAt(watch_.centre());
        for (int i = 0; i < kWarmSlides && shown >= 0; ++i)
            shown = nextPhoto(tree, shown, slideMs, &figures);
        const Clock::time_point begin = Clock::now();
        const double processor = tree.processorSeconds();
        const double server = ProcessTree::processorSecondsOf(display_.processId());
        while (shown >= 0 && secondsSince(begin) < steadySeconds) {
            shown = nextPhoto(tree, shown, slideMs, &figures);
            figures.slides += shown >= 0 ? 1 : 0;
        }
        figures.seconds = secondsSince(begin);
        figures.processorSeconds = tree.processorSeconds() - processor;
        figures.serverSeconds = ProcessTree::processorSecondsOf(display_.processId()) - server;
        if (shown < 0)
            figures.error = QStringLiteral("the show stopped");
        if (viewer == Viewer::Orlix && shown >= 0) {
            watch_.pressKey(kEscapeKeysym);
            settle(tree);
            if (!tree.processes().empty())
                figures.afterShowPssKiB = tree.pssKiB();
        }
    }
    test::endProcess(process);
    // The next run starts from a screen without a photo.
    waitUntil([&] { return ShowPhotos::photoAt(watch_.centre()) < 0; });
    return figures;
}

std::vector<IdleFigures> ShowRun::idle(int intervalSeconds, double settleSeconds, int gaps) {
    std::vector<IdleFigures> measured;
    ShowFigures started;
    QProcess process;
    if (!start(process, Viewer::Orlix, false, intervalSeconds, started)) {
        measured.push_back({});
        measured.back().error = started.error;
    }
    const ProcessTree tree(process.processId());
    // From the slide after the first on, the show runs as it will.
    int shown = ShowPhotos::photoAt(watch_.centre());
    while (started.error.isEmpty() && int(measured.size()) < gaps) {
        shown = nextPhoto(tree, shown, intervalSeconds * 1000 + kSlideGraceMs, nullptr);
        if (shown < 0) {
            measured.push_back({});
            measured.back().error = QStringLiteral("no next slide");
        } else {
            measured.push_back(restAfterSlide(tree, shown, intervalSeconds, settleSeconds));
        }
        if (!measured.back().error.isEmpty())
            break;
    }
    test::endProcess(process);
    waitUntil([&] { return ShowPhotos::photoAt(watch_.centre()) < 0; });
    return measured;
}

IdleFigures ShowRun::restAfterSlide(const ProcessTree& tree, int shown, int intervalSeconds,
                                    double settleSeconds) {
    IdleFigures figures;
    const Clock::time_point slide = Clock::now();
    const auto settle = Ms(static_cast<int>(settleSeconds * 1000));
    QThread::msleep(static_cast<unsigned long>(settle.count()));
    const std::map<std::int64_t, ProcessTree::Thread> before = tree.threads();
    const double ticks = tree.processorSeconds();
    const Clock::time_point begin = Clock::now();
    // Watched meanwhile: a slide before the end would spoil the measurement.
    if (nextPhoto(tree, shown, msUntil(slide + Ms(intervalSeconds * 1000) - settle), nullptr) >= 0)
        figures.error = QStringLiteral("a slide came early");
    const std::map<std::int64_t, ProcessTree::Thread> after = tree.threads();
    figures.tickSeconds = tree.processorSeconds() - ticks;
    figures.seconds = secondsSince(begin);
    figures.threads = static_cast<int>(after.size());
    for (const auto& [id, thread] : after) {
        const auto found = before.find(id);
        const std::int64_t spent =
            thread.nanoseconds - (found == before.end() ? 0 : found->second.nanoseconds);
        if (found == before.end())
            ++figures.threadsStarted;
        figures.threadNs += spent;
        if (spent > 0)
            figures.busiest.emplace_back(thread.name, spent);
    }
    for (const auto& [id, thread] : before)
        figures.threadsEnded += after.count(id) == 0 ? 1 : 0;
    std::sort(figures.busiest.begin(), figures.busiest.end(),
              [](const auto& a, const auto& b) { return a.second > b.second; });
    if (figures.busiest.size() > kBusiestShown)
        figures.busiest.resize(kBusiestShown);
    return figures;
}

} // namespace orlix::bench
