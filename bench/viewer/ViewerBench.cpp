// Slide-step, redraw and memory figures of the viewer, each against a floor measured in the
// same run. Offscreen; the pictures are generated here.

#include "app/Settings.h"
#include "platform/MessageService.h"
#include "platform/NativePath.h"
#include "viewer/FormView.h"
#include "viewer/PictureBox.h"
#include "viewer/PictureDecoder.h"

#include <QApplication>
#include <QBuffer>
#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QImageWriter>
#include <QPointer>
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using orlix::FormView;
using orlix::Settings;

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
    static const QByteArray bytes = [] {
        QImage image(kWidth, kHeight, QImage::Format_RGB32);
        for (int y = 0; y < kHeight; ++y) {
            auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
            for (int x = 0; x < kWidth; ++x)
                line[x] = qRgb((x * 7 + y) & 0xff, ((y * 3) ^ x) & 0xff, ((x * y) >> 5) & 0xff);
        }
        QByteArray out;
        QBuffer buffer(&out);
        buffer.open(QIODevice::WriteOnly);
        QImageWriter(&buffer, "JPEG").write(image);
        return out;
    }();
    return bytes;
}

// A scratch folder holding `count` copies of the big JPEG.
class PictureFolder {
public:
    explicit PictureFolder(int count) {
        std::string pattern = (fs::temp_directory_path() / "orlix-bench-XXXXXX").string();
        root_ = ::mkdtemp(pattern.data());
        for (int i = 0; i < count; ++i) {
            char name[32];
            std::snprintf(name, sizeof name, "/p%02d.jpg", i);
            std::ofstream(root_ + name, std::ios::binary)
                .write(bigJpeg().constData(), bigJpeg().size());
        }
    }
    ~PictureFolder() { fs::remove_all(root_); }
    QString root() const { return orlix::platform::fromNative(QByteArray::fromStdString(root_)); }
    QString first() const { return root() + QStringLiteral("/p00.jpg"); }

private:
    std::string root_;
};

// The floor: a bare decode of the file with the decoder the viewer uses.
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

// A viewer on a 1920 x 1080 screen over `folder`, its first picture shown.
QPointer<FormView> openViewer(const PictureFolder& folder, orlix::platform::MessageService& box) {
    Settings = orlix::SettingsRecord();
    Settings.Path = folder.root();
    Settings.ExtList = QStringLiteral("jpg");
    Settings.Interval = 60;
    Settings.Loop = 1;
    Settings.Guide = 1;
    QPointer<FormView> view = new FormView({QRect(0, 0, 1920, 1080), 1.0}, box, nullptr);
    view->Form_Load();
    view->show();
    while (view && view->stepsRun() == 0)
        QApplication::processEvents(QEventLoop::WaitForMoreEvents, 10);
    return view;
}

void forcePaint(FormView& view) {
    view.pictureView()->repaint();
}

void BM_SlideStepOnto6000x4000Jpeg(benchmark::State& state) {
    PictureFolder folder(2);
    NoMessages box;
    QPointer<FormView> view = openViewer(folder, box);
    double decodeMs = 0, stepMs = 0;
    for (auto _ : state) {
        decodeMs += bareDecodeMs(folder.first());
        const auto start = Clock::now();
        view->TimInterval_Timer();
        forcePaint(*view);
        const double ms = msSince(start);
        stepMs += ms;
        state.SetIterationTime(ms / 1000.0);
    }
    const double n = double(state.iterations());
    state.counters["decode_ms"] = decodeMs / n;
    state.counters["step_ms"] = stepMs / n;
    state.counters["step_per_decode"] = stepMs / decodeMs;
    delete view.data();
}
BENCHMARK(BM_SlideStepOnto6000x4000Jpeg)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(8);

void redraw(benchmark::State& state, std::int16_t realSize) {
    PictureFolder folder(1);
    NoMessages box;
    QPointer<FormView> view = openViewer(folder, box);
    Settings.RealSize = realSize;
    view->redraw(); // the first redraw after the switch makes the frame once
    double decodeMs = 0;
    for (int i = 0; i < 3; ++i)
        decodeMs += bareDecodeMs(folder.first()) / 3;
    const int made = view->renderer().framesMade();
    double redrawMs = 0;
    for (auto _ : state) {
        const auto start = Clock::now();
        view->redraw();
        forcePaint(*view);
        const double ms = msSince(start);
        redrawMs += ms;
        state.SetIterationTime(ms / 1000.0);
    }
    const double n = double(state.iterations());
    state.counters["redraw_ms"] = redrawMs / n;
    state.counters["decode_ms"] = decodeMs;
    state.counters["redraw_per_decode"] = redrawMs / n / decodeMs;
    state.counters["frames_made"] = view->renderer().framesMade() - made;
    delete view.data();
}

void BM_RedrawFitted(benchmark::State& state) {
    redraw(state, 0);
}
void BM_RedrawRealSize(benchmark::State& state) {
    redraw(state, 1);
}
BENCHMARK(BM_RedrawFitted)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RedrawRealSize)->UseManualTime()->Unit(benchmark::kMillisecond);

// A pan at real size: the view's window into the picture moves, so each one makes a frame.
void BM_PanAtRealSize(benchmark::State& state) {
    PictureFolder folder(1);
    NoMessages box;
    QPointer<FormView> view = openViewer(folder, box);
    Settings.RealSize = 1;
    view->redraw();
    double decodeMs = 0;
    for (int i = 0; i < 3; ++i)
        decodeMs += bareDecodeMs(folder.first()) / 3;
    const int made = view->renderer().framesMade();
    double panMs = 0;
    bool right = true;
    for (auto _ : state) {
        const auto start = Clock::now();
        view->Form_KeyDown(right ? orlix::keycode::kRight : orlix::keycode::kLeft,
                           orlix::keycode::kShiftBit);
        forcePaint(*view);
        const double ms = msSince(start);
        panMs += ms;
        right = !right;
        state.SetIterationTime(ms / 1000.0);
    }
    const double n = double(state.iterations());
    state.counters["pan_ms"] = panMs / n;
    state.counters["decode_ms"] = decodeMs;
    state.counters["pan_per_decode"] = panMs / n / decodeMs;
    state.counters["frames_per_pan"] = (view->renderer().framesMade() - made) / n;
    delete view.data();
}
BENCHMARK(BM_PanAtRealSize)->UseManualTime()->Unit(benchmark::kMillisecond);

long statusKb(const char* field) {
    QFile status(QStringLiteral("/proc/self/status"));
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

void BM_PeakMemoryThrough20Pictures(benchmark::State& state) {
    PictureFolder folder(20);
    NoMessages box;
    for (auto _ : state) {
        const long before = statusKb("VmRSS:");
        if (!resetPeak()) {
            state.SkipWithError("cannot reset the resident high-water mark");
            return;
        }
        QPointer<FormView> view = openViewer(folder, box);
        for (int i = 1; i < 20; ++i) {
            view->TimInterval_Timer();
            forcePaint(*view);
        }
        const long peak = statusKb("VmHWM:");
        delete view.data();
        state.counters["peak_above_start_MB"] = (peak - before) / 1024.0;
        state.counters["decoded_picture_MB"] = kDecodedMb;
        state.counters["pictures_at_peak"] = (peak - before) / 1024.0 / kDecodedMb;
    }
}
BENCHMARK(BM_PeakMemoryThrough20Pictures)->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    bigJpeg(); // made once, outside every measurement
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
