// Redraws, the GUI thread's stalls and memory during a show, and Start on a large folder.

#include "PictureFolder.h"
#include "ViewerBench.h"

#include "common/ReaddirFloor.h"
#include "core/Settings.h"
#include "decode/process/ProcessDecoder.h"
#include "settings/FormSetting.h"
#include "viewer/steps/KeyCodes.h"
#include "viewer/window/PictureBox.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTimer>

#include <algorithm>
#include <string>
#include <vector>

namespace orlix::bench {
namespace {

namespace keycode = orlix::keycode;

// Redraws of a photo on screen: the same view again, the guide switched (a new fitted frame
// from the picture held), and a pan at real size.
enum class Redraw { Same, Guide, Pan };

void redraw(benchmark::State& state, Redraw kind) {
    PictureFolder folder(1);
    BenchScene scene(folder.root());
    if (kind == Redraw::Pan)
        Settings.RealSize = 1;
    scene.open();
    scene.idle();
    FormView* view = scene.view;
    double total = 0;
    bool flip = false;
    for (auto _ : state) {
        const auto start = Clock::now();
        if (kind == Redraw::Same)
            view->redraw();
        else if (kind == Redraw::Guide)
            view->Form_KeyDown(keycode::kCtrl, 0);
        else
            view->Form_KeyDown(flip ? keycode::kLeft : keycode::kRight, keycode::kShiftBit);
        settleAndPaint(scene);
        const double ms = msSince(start);
        total += ms;
        flip = !flip;
        state.SetIterationTime(ms / 1000.0);
    }
    state.counters["redraw_ms"] = total / double(state.iterations());
}
void BM_RedrawSameView(benchmark::State& state) {
    redraw(state, Redraw::Same);
}
void BM_RedrawGuideSwitched(benchmark::State& state) {
    redraw(state, Redraw::Guide);
}
void BM_PanAtRealSize(benchmark::State& state) {
    redraw(state, Redraw::Pan);
}
BENCHMARK(BM_RedrawSameView)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(20);
BENCHMARK(BM_RedrawGuideSwitched)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(20);
BENCHMARK(BM_PanAtRealSize)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(20);

// The GUI thread's longest stall while a show of photos runs at a 1 s interval: a timer of
// 0 ms runs whenever the thread is free, and the longest gap between its runs is the stall.
void BM_LongestStallDuringAShow(benchmark::State& state) {
    const BenchScreen& screen = benchScreen(state);
    PictureFolder folder(6);
    for (auto _ : state) {
        BenchScene scene(folder.root(), screen, 1);
        scene.open();
        const int stepsBefore = scene.steps().stepsRun();
        // The gaps go into 0.1 ms bins, fixed in size: a growing list would itself stall.
        std::vector<long> bins(10001, 0);
        double longest = 0;
        QElapsedTimer clock;
        clock.start();
        qint64 last = clock.nsecsElapsed();
        QTimer probe;
        probe.setInterval(0);
        QObject::connect(&probe, &QTimer::timeout, [&] {
            const qint64 now = clock.nsecsElapsed();
            const double gap = (now - last) / 1e6;
            longest = std::max(longest, gap);
            ++bins[std::min<std::size_t>(bins.size() - 1, static_cast<std::size_t>(gap * 10))];
            last = now;
        });
        probe.start();
        const auto start = Clock::now();
        scene.runUntil([&] { return msSince(start) > 12000; }, 13000);
        probe.stop();
        long count = 0, seen = 0;
        for (long n : bins)
            count += n;
        std::size_t p99 = 0;
        while (p99 < bins.size() && (seen += bins[p99]) < count * 99 / 100)
            ++p99;
        state.SetIterationTime(longest / 1000.0);
        state.counters["longest_stall_ms"] = longest;
        state.counters["p99_gap_ms"] = (p99 + 1) / 10.0;
        state.counters["steps"] = scene.steps().stepsRun() - stepsBefore;
    }
}
BENCHMARK(BM_LongestStallDuringAShow)
    ->Apply(onEachScreen)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

// The ids of the processes `process` started, as /proc lists them.
QStringList childrenOf(const QString& process) {
    QStringList children;
    const QString tasks = QStringLiteral("/proc/%1/task").arg(process);
    for (const QString& task : QDir(tasks).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile list(tasks + QStringLiteral("/%1/children").arg(task));
        if (list.open(QIODevice::ReadOnly))
            children += QString::fromLatin1(list.readAll()).split(' ', Qt::SkipEmptyParts);
    }
    return children;
}

// The decoder process started last: decoder processes are the children of the process that
// forks them, which is this one's child.
QString newestDecoderProcess() {
    qint64 newest = 0;
    for (const QString& forking : childrenOf(QString::number(QCoreApplication::applicationPid())))
        for (const QString& decoder : childrenOf(forking))
            newest = std::max(newest, decoder.toLongLong());
    return QString::number(newest);
}

// Stepping through 20 photos, resting on each until the decoding thread is done: the shown
// picture, the frame of the one before it and the next one decoded ahead are all held at some
// point.
void BM_PeakMemoryThrough20Photos(benchmark::State& state) {
    PictureFolder folder(20);
    programDecoder = std::make_shared<ProcessDecoder>();
    BenchScene scene(folder.root());
    for (auto _ : state) {
        const long before = statusKb("VmRSS:");
        if (!resetPeak()) {
            state.SkipWithError("cannot reset the resident high-water mark");
            return;
        }
        scene.open();
        for (int i = 1; i < 20; ++i) {
            scene.idle();
            scene.view->TimInterval_Timer();
            settleAndPaint(scene);
        }
        scene.idle();
        const long peak = statusKb("VmHWM:");
        // The decoder process's own peak, from its start: a fresh one served this show.
        const long decoderPeak = inProgramDecoder ? 0 : statusKb("VmHWM:", newestDecoderProcess());
        scene.close();
        state.counters["peak_above_start_MB"] = (peak - before) / 1024.0;
        state.counters["decoder_peak_MB"] = decoderPeak / 1024.0;
        state.counters["decoded_photo_MB"] = kDecodedPhotoMb;
        state.counters["photos_at_peak"] = (peak - before) / 1024.0 / kDecodedPhotoMb;
    }
}
BENCHMARK(BM_PeakMemoryThrough20Photos)->Iterations(1)->Unit(benchmark::kMillisecond);

// Start on a folder of 32,768 small pictures with Sort on, from the Start command to the first
// frame painted, against readdir of the folder plus a byte sort of its names.
void BM_StartToFirstPictureOf32768(benchmark::State& state) {
    PictureFolder folder(32768, PictureFolder::Kind::Tiny);
    BenchScene scene(folder.root());
    double total = 0, floor = 0;
    for (auto _ : state) {
        {
            const auto start = Clock::now();
            readdirAndByteSort(folder.native());
            floor += msSince(start);
        }
        Settings = SettingsRecord();
        FormSetting settings(scene, [] {});
        settings.setDecoder(viewerDecoder());
        settings.findChild<QComboBox*>(QStringLiteral("CmbPath"))->setEditText(folder.root());
        settings.findChild<QCheckBox*>(QStringLiteral("ChkSort"))->setChecked(true);
        settings.show();
        QApplication::processEvents();
        const auto start = Clock::now();
        settings.CmdStart_Click();
        scene.view = settings.viewer();
        if (!scene.view)
            qFatal("Start opened no viewer");
        // The picture box is shown once the first step has ended.
        scene.runUntil([&] { return scene.pictureView()->isVisible(); }, 120000);
        scene.pictureView()->repaint();
        const double ms = msSince(start);
        total += ms;
        state.SetIterationTime(ms / 1000.0);
        scene.close();
    }
    report(state, total, floor, "start");
    state.counters.erase("decode_ms");
    state.counters["floor_ms"] = floor / double(state.iterations());
}
BENCHMARK(BM_StartToFirstPictureOf32768)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(4);

} // namespace
} // namespace orlix::bench
