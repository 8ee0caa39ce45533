// Slide steps, redraws, stalls and memory of the viewer, each against a floor measured in the
// same run: a bare decode of the same photo with Qt's own reader (the program's decoder before
// it decoded ahead), or for the start of a show on a large folder, readdir plus a byte sort.
// Offscreen, a 1920 x 1080 screen, 6000 x 4000 JPEG photos made here. Pictures are decoded in
// decoder processes, as the program decodes them; with --in-program-decoder, on the decoding
// thread itself, as the program did before, for comparison.
//   viewer_bench [--in-program-decoder] [--benchmark_repetitions=N] [google benchmark flags]

#include "app/Settings.h"
#include "common/PhotoJpeg.h"
#include "common/ReaddirFloor.h"
#include "decode/DecoderService.h"
#include "decode/PictureDecoder.h"
#include "decode/ProcessDecoder.h"
#include "platform/DecoderProcess.h"
#include "platform/MemoryReuse.h"
#include "platform/MessageService.h"
#include "platform/NativePath.h"
#include "settings/FormSetting.h"
#include "viewer/FormView.h"
#include "viewer/KeyCodes.h"
#include "viewer/PictureBox.h"
#include "viewer/PictureSource.h"

#include <QApplication>
#include <QBuffer>
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QImageWriter>
#include <QPointer>
#include <QTimer>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using orlix::FormView;
using orlix::Settings;
namespace keycode = orlix::keycode;

constexpr int kWidth = 6000, kHeight = 4000;
constexpr double kDecodedMb = kWidth * double(kHeight) * 4 / (1024.0 * 1024.0);

double msSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

class NoMessages : public orlix::platform::MessageService {
public:
    void warning(QWidget*, const QString&, const QString& text) override {
        qFatal("unexpected failure box: %s", qPrintable(text));
    }
};

// A 6000 x 4000 JPEG with photo-like detail, so that decoding does real work.
const QByteArray& bigJpeg() {
    static const QByteArray bytes = orlix::bench::photoJpeg(kWidth, kHeight);
    return bytes;
}

// A scratch folder: `count` copies of the big JPEG, or `count` tiny pictures.
class PictureFolder {
public:
    explicit PictureFolder(int count, bool tiny = false) {
        std::string pattern = (fs::temp_directory_path() / "orlix-bench-XXXXXX").string();
        root_ = ::mkdtemp(pattern.data());
        QByteArray small;
        if (tiny) {
            QImage image(8, 8, QImage::Format_RGB32);
            image.fill(Qt::gray);
            QBuffer buffer(&small);
            buffer.open(QIODevice::WriteOnly);
            image.save(&buffer, "BMP");
        }
        const QByteArray& bytes = tiny ? small : bigJpeg();
        for (int i = 0; i < count; ++i) {
            char name[32];
            std::snprintf(name, sizeof name, tiny ? "/IMG_%05d.bmp" : "/p%02d.jpg", i);
            std::ofstream(root_ + name, std::ios::binary).write(bytes.constData(), bytes.size());
        }
    }
    ~PictureFolder() { fs::remove_all(root_); }
    QString root() const { return orlix::platform::fromNative(QByteArray::fromStdString(root_)); }
    QString file(int i) const {
        return root() + QStringLiteral("/p%1.jpg").arg(i, 2, 10, QLatin1Char('0'));
    }
    const std::string& native() const { return root_; }

private:
    std::string root_;
};

// The floor: a bare decode of the file with Qt's reader.
double bareDecodeMs(const QString& path) {
    QImageReader::setAllocationLimit(orlix::StandardPictureDecoder::kAllocationLimitMb);
    const auto start = Clock::now();
    QImageReader reader(path);
    QImage image = reader.read();
    const double ms = msSince(start);
    if (image.size() != QSize(kWidth, kHeight))
        qFatal("bare decode failed");
    return ms;
}

// Runs the event loop until `done`. It sleeps between events, as the program's own loop does:
// a thread that spun here would take a core from the decoding threads.
void waitFor(const std::function<bool()>& done) {
    QEventLoop loop;
    QTimer wake;
    wake.setInterval(2);
    QObject::connect(&wake, &QTimer::timeout, &loop, [&] {
        if (done())
            loop.quit();
    });
    if (done())
        return;
    wake.start();
    loop.exec();
}

// Runs events until the step has ended and its frame is on screen.
void settleAndPaint(FormView& view) {
    waitFor([&] { return view.isSettled(); });
    view.pictureView()->repaint();
}

// Runs events until the decoding thread has done all it wants to, and at least `ms` passed.
void rest(FormView& view, double ms = 1000) {
    const auto start = Clock::now();
    waitFor([&] { return view.pictures().idle() && msSince(start) >= ms; });
}

void prepareSettings(const QString& root, std::int16_t interval = 60) {
    Settings = orlix::SettingsRecord();
    Settings.Path = root;
    Settings.ExtList = QStringLiteral("jpg|bmp");
    Settings.Interval = interval;
    Settings.Loop = 1;
    Settings.Guide = 1;
}

// The program's decoder, made in main: its decoder processes serve every viewer here.
std::shared_ptr<const orlix::ProcessDecoder> programDecoder;
bool inProgramDecoder = false;

std::shared_ptr<const orlix::PictureDecoder> viewerDecoder() {
    if (inProgramDecoder)
        return std::make_shared<orlix::StandardPictureDecoder>();
    return programDecoder;
}

QPointer<FormView> openViewer(orlix::platform::MessageService& box) {
    QPointer<FormView> view =
        new FormView({QRect(0, 0, 1920, 1080), 1.0}, box, nullptr, nullptr, viewerDecoder());
    view->Form_Load();
    view->show();
    waitFor([&] { return !view || (view->stepsRun() > 0 && view->isSettled()); });
    return view;
}

void report(benchmark::State& state, double totalMs, double floorMs, const char* name) {
    const double n = double(state.iterations());
    state.counters[std::string(name) + "_ms"] = totalMs / n;
    state.counters["decode_ms"] = floorMs / n;
    state.counters["ratio"] = totalMs / floorMs;
}

// A key pressed on a viewer that rests on a photo, timed from the key to the frame on screen.
template <typename Prepare>
void timeKeys(benchmark::State& state, std::int16_t key, Prepare prepare) {
    PictureFolder folder(4);
    prepareSettings(folder.root());
    NoMessages box;
    QPointer<FormView> view = openViewer(box);
    double total = 0, floor = 0;
    for (auto _ : state) {
        const std::int16_t pressed = prepare(*view, key);
        floor += bareDecodeMs(folder.file(0));
        rest(*view, 200);
        const auto start = Clock::now();
        view->Form_KeyDown(pressed, 0);
        settleAndPaint(*view);
        const double ms = msSince(start);
        total += ms;
        state.SetIterationTime(ms / 1000.0);
    }
    report(state, total, floor, "step");
    delete view.data();
}

// A step onto the next photo, decoded ahead while the show rested at least a second.
void BM_StepOntoPhotoDecodedAhead(benchmark::State& state) {
    timeKeys(state, keycode::kRight, [](FormView& view, std::int16_t key) {
        rest(view);
        return key;
    });
}
BENCHMARK(BM_StepOntoPhotoDecodedAhead)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(4);

// A step against the show's direction: the photo was not decoded ahead.
void BM_StepOntoPhotoNotDecodedAhead(benchmark::State& state) {
    timeKeys(state, keycode::kRight, [](FormView& view, std::int16_t) {
        rest(view);
        return view.steps().state().lastKey == keycode::kRight ? keycode::kLeft : keycode::kRight;
    });
}
BENCHMARK(BM_StepOntoPhotoNotDecodedAhead)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(4);

// From opening the viewer to its first photo on screen.
void BM_FirstPhotoOfAShow(benchmark::State& state) {
    PictureFolder folder(2);
    prepareSettings(folder.root());
    NoMessages box;
    double total = 0, floor = 0;
    for (auto _ : state) {
        floor += bareDecodeMs(folder.file(0));
        const auto start = Clock::now();
        QPointer<FormView> view = openViewer(box);
        view->pictureView()->repaint();
        const double ms = msSince(start);
        total += ms;
        state.SetIterationTime(ms / 1000.0);
        delete view.data();
    }
    report(state, total, floor, "first");
}
BENCHMARK(BM_FirstPhotoOfAShow)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(4);

// Home on a fitted photo: at once after the step onto it (the worst case: its full resolution
// is still to be decoded), and after the show rested on it.
void home(benchmark::State& state, bool rested) {
    PictureFolder folder(4);
    prepareSettings(folder.root());
    NoMessages box;
    QPointer<FormView> view = openViewer(box);
    double total = 0, floor = 0;
    for (auto _ : state) {
        floor += bareDecodeMs(folder.file(0));
        rest(*view, 200);
        view->Form_KeyDown(keycode::kRight, 0);
        settleAndPaint(*view);
        if (rested)
            rest(*view, 200);
        const auto start = Clock::now();
        view->Form_KeyDown(keycode::kHome, 0);
        settleAndPaint(*view);
        const double ms = msSince(start);
        total += ms;
        state.SetIterationTime(ms / 1000.0);
        view->Form_KeyDown(keycode::kHome, 0); // fitted again for the next round
        settleAndPaint(*view);
    }
    report(state, total, floor, "home");
    delete view.data();
}
void BM_HomeRightAfterTheStep(benchmark::State& state) {
    home(state, false);
}
void BM_HomeAfterARest(benchmark::State& state) {
    home(state, true);
}
BENCHMARK(BM_HomeRightAfterTheStep)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(4);
BENCHMARK(BM_HomeAfterARest)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(4);

// Redraws of a photo on screen: the same view again, the guide switched (a new fitted frame
// from the picture held), and a pan at real size.
void redraw(benchmark::State& state, const char* what) {
    PictureFolder folder(1);
    prepareSettings(folder.root());
    const std::string kind = what;
    if (kind == "pan")
        Settings.RealSize = 1;
    NoMessages box;
    QPointer<FormView> view = openViewer(box);
    rest(*view, 0);
    double total = 0;
    bool flip = false;
    for (auto _ : state) {
        const auto start = Clock::now();
        if (kind == "same")
            view->redraw();
        else if (kind == "guide")
            view->Form_KeyDown(keycode::kCtrl, 0);
        else
            view->Form_KeyDown(flip ? keycode::kLeft : keycode::kRight, keycode::kShiftBit);
        settleAndPaint(*view);
        const double ms = msSince(start);
        total += ms;
        flip = !flip;
        state.SetIterationTime(ms / 1000.0);
    }
    state.counters["redraw_ms"] = total / double(state.iterations());
    delete view.data();
}
void BM_RedrawSameView(benchmark::State& state) {
    redraw(state, "same");
}
void BM_RedrawGuideSwitched(benchmark::State& state) {
    redraw(state, "guide");
}
void BM_PanAtRealSize(benchmark::State& state) {
    redraw(state, "pan");
}
BENCHMARK(BM_RedrawSameView)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(20);
BENCHMARK(BM_RedrawGuideSwitched)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(20);
BENCHMARK(BM_PanAtRealSize)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(20);

// The GUI thread's longest stall while a show of photos runs at a 1 s interval: a timer of
// 0 ms runs whenever the thread is free, and the longest gap between its runs is the stall.
void BM_LongestStallDuringAShow(benchmark::State& state) {
    PictureFolder folder(6);
    for (auto _ : state) {
        prepareSettings(folder.root(), 1);
        NoMessages box;
        QPointer<FormView> view = openViewer(box);
        const int stepsBefore = view->stepsRun();
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
        waitFor([&] { return msSince(start) > 12000; });
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
        state.counters["steps"] = view->stepsRun() - stepsBefore;
        delete view.data();
    }
}
BENCHMARK(BM_LongestStallDuringAShow)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

long statusKb(const char* field, const QString& process = QStringLiteral("self")) {
    QFile status(QStringLiteral("/proc/%1/status").arg(process));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith(field))
            return line.mid(qstrlen(field)).trimmed().split(' ').first().toLong();
    }
    return -1;
}

// Resets the high-water mark of the resident set (Linux 4.0 and later).
bool resetPeak() {
    std::ofstream clear("/proc/self/clear_refs");
    clear << "5";
    return bool(clear);
}

// Stepping through 20 photos, resting on each until the decoding thread is done: the shown
// picture, its full resolution and the next one decoded ahead are all held at some point.
void BM_PeakMemoryThrough20Photos(benchmark::State& state) {
    PictureFolder folder(20);
    prepareSettings(folder.root());
    NoMessages box;
    programDecoder = std::make_shared<orlix::ProcessDecoder>();
    for (auto _ : state) {
        const long before = statusKb("VmRSS:");
        if (!resetPeak()) {
            state.SkipWithError("cannot reset the resident high-water mark");
            return;
        }
        QPointer<FormView> view = openViewer(box);
        for (int i = 1; i < 20; ++i) {
            rest(*view, 0);
            view->TimInterval_Timer();
            settleAndPaint(*view);
        }
        rest(*view, 0);
        const long peak = statusKb("VmHWM:");
        // The decoder process's own peak, from its start: a fresh one served this show.
        const long decoderPeak =
            inProgramDecoder ? 0 : statusKb("VmHWM:", QString::number(programDecoder->processId()));
        delete view.data();
        state.counters["peak_above_start_MB"] = (peak - before) / 1024.0;
        state.counters["decoder_peak_MB"] = decoderPeak / 1024.0;
        state.counters["decoded_photo_MB"] = kDecodedMb;
        state.counters["photos_at_peak"] = (peak - before) / 1024.0 / kDecodedMb;
    }
}
BENCHMARK(BM_PeakMemoryThrough20Photos)->Iterations(1)->Unit(benchmark::kMillisecond);

// Start on a folder of 32,768 small pictures with Sort on, from the Start command to the first
// frame painted, against readdir of the folder plus a byte sort of its names.
void BM_StartToFirstPictureOf32768(benchmark::State& state) {
    PictureFolder folder(32768, true);
    NoMessages box;
    double total = 0, floor = 0;
    for (auto _ : state) {
        {
            const auto start = Clock::now();
            orlix::bench::readdirAndByteSort(folder.native());
            floor += msSince(start);
        }
        Settings = orlix::SettingsRecord();
        orlix::FormSetting settings(box, [] {});
        settings.setDecoder(viewerDecoder());
        settings.findChild<QComboBox*>(QStringLiteral("CmbPath"))->setEditText(folder.root());
        settings.findChild<QCheckBox*>(QStringLiteral("ChkSort"))->setChecked(true);
        settings.show();
        QApplication::processEvents();
        const auto start = Clock::now();
        settings.CmdStart_Click();
        FormView* view = settings.viewer();
        if (!view)
            qFatal("Start opened no viewer");
        waitFor([&] { return view->stepsRun() > 0 && view->isSettled(); });
        view->pictureView()->repaint();
        const double ms = msSince(start);
        total += ms;
        state.SetIterationTime(ms / 1000.0);
        delete view;
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

int main(int argc, char** argv) {
    // First, as the program does: the process that forks the decoder processes.
    orlix::platform::startDecoderZygote(orlix::decoderProgram());
    programDecoder = std::make_shared<orlix::ProcessDecoder>();
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--in-program-decoder") == 0) {
            inProgramDecoder = true;
            std::copy(argv + i + 1, argv + argc + 1, argv + i);
            --argc;
            break;
        }
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    orlix::platform::keepFreedMemoryForReuse(); // as the program does
    QApplication app(argc, argv);
    bigJpeg(); // made once, outside every measurement
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    programDecoder.reset();
    return 0;
}
