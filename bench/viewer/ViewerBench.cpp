#include "ViewerBench.h"

#include "common/CameraJpeg.h"
#include "common/LibjpegFloor.h"
#include "common/PhotoJpeg.h"
#include "core/Settings.h"
#include "decode/codec/JpegReader.h"
#include "decode/codec/PictureDecoder.h"
#include "decode/process/ProcessDecoder.h"
#include "viewer/steps/SlideStepMachine.h"
#include "viewer/window/FormView.h"
#include "viewer/window/PictureBox.h"

#include <QCoreApplication>
#include <QEvent>
#include <QFile>
#include <QImage>
#include <QImageReader>

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

void settleAndPaint(test::ViewerScene& scene) {
    // The frame is painted once: by the update the step asked for, whether the event loop
    // already ran it or it is still pending, and here only when there was none. A paint
    // forced on top of one already done would count a 4K frame's drawing twice.
    PaintCount count(scene.pictureView());
    scene.settle();
    QCoreApplication::sendPostedEvents(scene.view->window(), QEvent::UpdateRequest);
    if (count.paints() == 0)
        scene.pictureView()->repaint();
}

std::shared_ptr<PictureDecoder> viewerDecoder() {
    if (inProgramDecoder)
        return std::make_shared<StandardPictureDecoder>();
    return programDecoder;
}

BenchScene::BenchScene(const QString& root, const BenchScreen& screen, std::int16_t interval)
    : ViewerScene(root, Pace::Asleep) {
    Settings.ExtList = QStringLiteral("jpg|bmp");
    Settings.Interval = interval;
    Settings.Loop = 1;
    Settings.Guide = 1;
    Settings.Sort = 0;
    this->screen = {QRect(0, 0, screen.width, screen.height), 1.0};
    decoder = viewerDecoder();
    onWarning = [](const QString& text) { qFatal("unexpected failure box: %s", qPrintable(text)); };
}

BenchScene::~BenchScene() {
    if (timeouts > 0)
        qFatal("the viewer never got where a benchmark waited for it");
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
