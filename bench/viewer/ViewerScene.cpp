#include "ViewerScene.h"

#include "common/CameraJpeg.h"
#include "common/LibjpegFloor.h"
#include "common/PhotoJpeg.h"
#include "core/Settings.h"
#include "decode/codec/JpegReader.h"
#include "decode/codec/PictureDecoder.h"
#include "decode/process/ProcessDecoder.h"
#include "viewer/steps/SlideStepMachine.h"
#include "viewer/window/PictureBox.h"

#include <QCoreApplication>
#include <QEvent>
#include <QEventLoop>
#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QTimer>

#include <fstream>
#include <string>

namespace orlix::bench {

std::shared_ptr<ProcessDecoder> programDecoder;
bool inProgramDecoder = false;
bool cameraPhotos = false;

double msSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

void onEachScreen(benchmark::internal::Benchmark* benchmark) {
    benchmark->ArgName("screen_height");
    for (const BenchScreen& screen : kScreens)
        benchmark->Arg(screen.height);
}

const BenchScreen& benchScreen(benchmark::State& state) {
    for (const BenchScreen& screen : kScreens) {
        if (screen.height == state.range(0)) {
            state.SetLabel(screen.name);
            return screen;
        }
    }
    qFatal("no screen of height %d", int(state.range(0)));
}

const QByteArray& bigJpeg() {
    static const QByteArray bytes = cameraPhotos
                                        ? withRestartMarkers(photoImage(kPhotoWidth, kPhotoHeight))
                                        : photoJpeg(kPhotoWidth, kPhotoHeight);
    return bytes;
}

double bareDecodeMs(const QString& path) {
    QImageReader::setAllocationLimit(StandardPictureDecoder::kAllocationLimitMb);
    const auto start = Clock::now();
    QImageReader reader(path);
    QImage image = reader.read();
    const double ms = msSince(start);
    if (image.size() != QSize(kPhotoWidth, kPhotoHeight))
        qFatal("bare decode failed");
    return ms;
}

double libjpegFloorMs(const QString& path, const BenchScreen& screen) {
    const QSize photo(kPhotoWidth, kPhotoHeight);
    const QSize fitted =
        StandardPictureDecoder::neededFor(photo, QSize(screen.width, screen.height));
    return libjpegDecodeMs(path, JpegReader::scaleFor(photo, false, fitted));
}

void ShowWatch::showMade(const SlideStepMachine& steps) {
    steps_ = &steps;
    decoding_ = false;
}

PictureBox* pictureView(const FormView& view) {
    return view.findChild<PictureBox*>(QStringLiteral("PicView"));
}

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

namespace {

// Counts the paints a widget gets while it lives.
class PaintCount : public QObject {
public:
    explicit PaintCount(QWidget* widget) : widget_(widget) { widget_->installEventFilter(this); }
    ~PaintCount() override { widget_->removeEventFilter(this); }
    int paints() const { return paints_; }

    bool eventFilter(QObject*, QEvent* event) override {
        paints_ += event->type() == QEvent::Paint;
        return false;
    }

private:
    QWidget* widget_;
    int paints_ = 0;
};

} // namespace

void settleAndPaint(FormView& view, const ShowWatch& watch) {
    // The frame is painted once: by the update the step asked for, whether the event loop
    // already ran it or it is still pending, and here only when there was none. A paint
    // forced on top of one already done would count a 4K frame's drawing twice.
    PaintCount count(pictureView(view));
    waitFor([&] { return watch.steps().settled(); });
    QCoreApplication::sendPostedEvents(view.window(), QEvent::UpdateRequest);
    if (count.paints() == 0)
        pictureView(view)->repaint();
}

void rest(const ShowWatch& watch, double ms) {
    const auto start = Clock::now();
    waitFor([&] { return !watch.decoding() && msSince(start) >= ms; });
}

void prepareSettings(const QString& root, std::int16_t interval) {
    Settings = SettingsRecord();
    Settings.Path = root;
    Settings.ExtList = QStringLiteral("jpg|bmp");
    Settings.Interval = interval;
    Settings.Loop = 1;
    Settings.Guide = 1;
}

std::shared_ptr<PictureDecoder> viewerDecoder() {
    if (inProgramDecoder)
        return std::make_shared<StandardPictureDecoder>();
    return programDecoder;
}

QPointer<FormView> openViewer(platform::MessageService& box, ShowWatch& watch,
                              const BenchScreen& screen) {
    QPointer<FormView> view =
        new FormView({QRect(0, 0, screen.width, screen.height), 1.0}, box, nullptr, nullptr,
                     viewerDecoder(), nullptr, nullptr, &watch);
    view->Form_Load();
    view->show();
    waitFor([&] { return !view || (watch.steps().stepsRun() > 0 && watch.steps().settled()); });
    return view;
}

void report(benchmark::State& state, double totalMs, double floorMs, const char* name,
            double libjpegMs) {
    const double n = double(state.iterations());
    state.counters[std::string(name) + "_ms"] = totalMs / n;
    state.counters["decode_ms"] = floorMs / n;
    state.counters["ratio"] = totalMs / floorMs;
    if (libjpegMs > 0) {
        state.counters["libjpeg_ms"] = libjpegMs / n;
        state.counters["vs_libjpeg"] = totalMs / libjpegMs;
    }
}

long statusKb(const char* field, const QString& process) {
    QFile status(QStringLiteral("/proc/%1/status").arg(process));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith(field))
            return line.mid(qstrlen(field)).trimmed().split(' ').first().toLong();
    }
    return -1;
}

bool resetPeak() {
    std::ofstream clear("/proc/self/clear_refs");
    clear << "5";
    return bool(clear);
}

} // namespace orlix::bench
