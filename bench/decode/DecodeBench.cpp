// What a step onto a large photo costs the decoder: a 6000 x 4000 photo-like JPEG, as Qt writes
// it (no restart markers) and as cameras write it (a restart marker every MCU row, written by
// libjpeg), decoded by StandardPictureDecoder fitted into a 1920 x 1080 screen (at 3/8)
// and into a 3840 x 2160 one (at 5/8). Each is given as a ratio against two floors
// measured in the same iterations: a bare QImageReader decode of the whole photo, and
// libjpeg's own single-thread decode at the same scale (as djpeg does it: read_scanlines
// into a buffer). Two further measurements: the gain of the split the reader chooses over a
// split in halves, and the entropy share of decoding at each scale that the split's cost
// model uses (the time to pass over all rows against the time to decode them).
//   decode_bench [--benchmark_repetitions=N] [google benchmark flags]

#include "common/LibjpegFloor.h"
#include "common/PhotoJpeg.h"
#include "common/RunBenchmarks.h"
#include "core/Twips.h"
#include "decode/codec/AreaShrinker.h"
#include "decode/codec/JpegBand.h"
#include "decode/codec/JpegReader.h"
#include "decode/codec/PictureDecoder.h"
#include "platform/files/PictureFile.h"
#include "support/JpegWriter.h"

#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QImageReader>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

#include <chrono>
#include <ctime>

namespace {

using orlix::bench::libjpegDecodeMs;
using Clock = std::chrono::steady_clock;
constexpr int kWidth = 6000, kHeight = 4000;

enum class Photo { QtWritten, RestartEveryRow };
const QSize kScreens[] = {{1920, 1080}, {3840, 2160}};

double msSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

class Photos {
    QTemporaryDir folder_; // first: the paths below are in it

public:
    Photos() {
        const QImage image = orlix::bench::photoImage(kWidth, kHeight);
        write(path(Photo::QtWritten), orlix::bench::photoJpeg(kWidth, kHeight));
        write(path(Photo::RestartEveryRow),
              orlix::test::writeJpeg(image, orlix::test::kCameraJpeg));
    }
    QString path(Photo photo) const {
        return folder_.filePath(photo == Photo::QtWritten ? QStringLiteral("qt.jpg")
                                                          : QStringLiteral("restarts.jpg"));
    }

private:
    static void write(const QString& path, const QByteArray& bytes) {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
            qFatal("cannot write %s", qPrintable(path));
    }
};

const Photos& photos() {
    static const Photos made;
    return made;
}

double bareQtDecodeMs(const QString& path) {
    const auto start = Clock::now();
    const QImage image = QImageReader(path).read();
    const double ms = msSince(start);
    if (image.size() != QSize(kWidth, kHeight))
        qFatal("bare decode failed");
    return ms;
}

double programDecodeMs(orlix::StandardPictureDecoder& decoder, const QString& path, QSize screen,
                       bool hurried, int& eighths) {
    const auto start = Clock::now();
    orlix::platform::FileError error = orlix::platform::FileError::None;
    const std::atomic<bool> cancelled{false};
    // Shrunk to its frame on the screen, as the viewer asks for it.
    const orlix::FitBox box{screen.width() * orlix::kTwipsPerPixel,
                            screen.height() * orlix::kTwipsPerPixel, 1.0};
    const orlix::DecodeResult result = decoder.decode(
        orlix::DecodeRequest{
            orlix::platform::PictureFile::open(path, error), screen, {}, false, hurried, box},
        cancelled);
    const double ms = msSince(start);
    if (!result.ok() || !result.framed)
        qFatal("decode failed");
    eighths = result.eighths;
    return ms;
}

double processorMs() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return now.tv_sec * 1e3 + now.tv_nsec / 1e6;
}

// The shrink of a photo decoded at 5/8 for a 3840 x 2160 screen to its frame, row by row as
// the decoder does it, against Qt's smooth scaling of the whole decoded picture (on Qt's thread
// pool): processor time of each, all threads.
void BM_ShrinkToFrame(benchmark::State& state) {
    const QImage decoded =
        orlix::bench::photoImage(3750, 2500).convertToFormat(QImage::Format_RGB32);
    const QSize target(3240, 2160);
    double ours = 0, qt = 0;
    for (auto _ : state) {
        QImage frame(target, QImage::Format_RGB888);
        double start = processorMs();
        orlix::AreaShrinker shrinker(decoded.size(), target, 0, decoded.height(), frame.bits(),
                                     frame.bytesPerLine());
        for (int y = 0; y < decoded.height(); ++y)
            shrinker.addRow(reinterpret_cast<const QRgb*>(decoded.constScanLine(y)));
        const double ms = processorMs() - start;
        ours += ms;
        start = processorMs();
        const QImage scaled =
            decoded.scaled(target, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        qt += processorMs() - start;
        benchmark::DoNotOptimize(scaled.constBits());
        state.SetIterationTime(ms / 1000.0);
    }
    const double n = double(state.iterations());
    state.counters["shrink_cpu_ms"] = ours / n;
    state.counters["qt_scaled_cpu_ms"] = qt / n;
    state.counters["vs_qt"] = ours / qt;
}
BENCHMARK(BM_ShrinkToFrame)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);

// Args: the photo, the screen, and whether someone waits for it (two bands) or it is decoded
// ahead (one band).
void BM_FittedDecode(benchmark::State& state) {
    const QString path = photos().path(Photo(state.range(0)));
    const QSize screen = kScreens[state.range(1)];
    const bool hurried = state.range(2) != 0;
    orlix::StandardPictureDecoder decoder;
    double program = 0, qt = 0, libjpeg = 0;
    int eighths = 8;
    for (auto _ : state) {
        const double ms = programDecodeMs(decoder, path, screen, hurried, eighths);
        program += ms;
        qt += bareQtDecodeMs(path);
        libjpeg += libjpegDecodeMs(path, eighths);
        state.SetIterationTime(ms / 1000.0);
    }
    const double n = double(state.iterations());
    state.counters["eighths"] = eighths;
    state.counters["program_ms"] = program / n;
    state.counters["qt_ms"] = qt / n;
    state.counters["libjpeg_ms"] = libjpeg / n;
    state.counters["vs_qt"] = program / qt;
    state.counters["vs_libjpeg"] = program / libjpeg;
}
BENCHMARK(BM_FittedDecode)
    ->ArgNames({"restarts", "screen", "hurried"})
    ->ArgsProduct({{0, 1}, {0, 1}, {0, 1}})
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5);

double readerDecodeMs(const QString& path, int eighths, bool inHalves) {
    const auto start = Clock::now();
    orlix::platform::FileError error = orlix::platform::FileError::None;
    const auto file = orlix::platform::PictureFile::open(path, error);
    orlix::JpegReader::Options options;
    if (inHalves) // the lower band passes over the upper half
        options.planBands = [](const orlix::JpegGeometry& geometry, int) {
            return orlix::JpegBandPlan{geometry.iMcuRows() / 2, 0};
        };
    QImage image;
    if (orlix::JpegReader(*file, options).read(eighths, image) !=
        orlix::JpegReader::Outcome::Decoded)
        qFatal("reader failed");
    return msSince(start);
}

// Args: the photo, the scale in eighths. The chosen split against halves, the lower band passing
// over the upper half.
void BM_SplitGain(benchmark::State& state) {
    const QString path = photos().path(Photo(state.range(0)));
    const int eighths = int(state.range(1));
    double chosen = 0, halves = 0;
    for (auto _ : state) {
        const double ms = readerDecodeMs(path, eighths, false);
        chosen += ms;
        halves += readerDecodeMs(path, eighths, true);
        state.SetIterationTime(ms / 1000.0);
    }
    const double n = double(state.iterations());
    state.counters["chosen_ms"] = chosen / n;
    state.counters["halves_ms"] = halves / n;
    state.counters["gain"] = halves / chosen;
}
BENCHMARK(BM_SplitGain)
    ->ArgNames({"restarts", "eighths"})
    ->ArgsProduct({{0, 1}, {8, 5, 4, 2, 1}})
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5);

// Arg: the scale in eighths. On the photo as Qt writes it.
void BM_EntropyShare(benchmark::State& state) {
    const QString path = photos().path(Photo::QtWritten);
    const int eighths = int(state.range(0));
    double decode = 0, passOver = 0;
    for (auto _ : state) {
        const double ms = libjpegDecodeMs(path, eighths);
        decode += ms;
        passOver += libjpegDecodeMs(path, eighths, true);
        state.SetIterationTime(ms / 1000.0);
    }
    state.counters["share"] = passOver / decode;
}
BENCHMARK(BM_EntropyShare)
    ->ArgName("eighths")
    ->Arg(8)
    ->Arg(5)
    ->Arg(4)
    ->Arg(3)
    ->Arg(2)
    ->Arg(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5);

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QImageReader::setAllocationLimit(orlix::StandardPictureDecoder::kAllocationLimitMb);
    photos(); // made once, outside every measurement
    return orlix::bench::runBenchmarks(argc, argv);
}
