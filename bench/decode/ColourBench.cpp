// What converting a photo's colours adds to its decode, against a floor measured in the same
// run: a bare decode of the same photo with Qt's own reader. A 6000 x 4000 JPEG carrying a
// ProPhoto profile, decoded fitted into a 1920 x 1080 screen (at 3/8) for an sRGB display,
// and the same photo without its profile.
//   colour_bench [--benchmark_repetitions=N] [google benchmark flags]

#include "common/PhotoJpeg.h"
#include "common/RunBenchmarks.h"
#include "decode/codec/ColourProfile.h"
#include "decode/codec/ColourTransform.h"
#include "decode/codec/PictureDecoder.h"
#include "platform/files/PictureFile.h"

#include <QBuffer>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QImageReader>
#include <QImageWriter>
#include <QTemporaryDir>
#include <QtEndian>
#include <benchmark/benchmark.h>

#include <chrono>
#include <ctime>

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kWidth = 6000, kHeight = 4000;
const QSize kScreen(1920, 1080);

double msSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// Processor time of all the process's threads: the work done, however busy the machine is with
// others' (while the colour is converted only its two threads run).
double processCpuMs() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return double(now.tv_sec) * 1e3 + double(now.tv_nsec) / 1e6;
}

QByteArray photo() {
    return orlix::bench::photoJpeg(kWidth, kHeight);
}

// `jpeg` with `icc` in one APP2 segment after its start.
QByteArray withIcc(const QByteArray& jpeg, const QByteArray& icc) {
    QByteArray segment("\xFF\xE2\0\0ICC_PROFILE\0\x01\x01", 18);
    segment += icc;
    qToBigEndian<quint16>(quint16(segment.size() - 2), segment.data() + 2);
    return jpeg.left(2) + segment + jpeg.mid(2);
}

class Photos {
    QTemporaryDir folder_; // first: the paths below are in it

public:
    Photos() {
        QFile icc(QStringLiteral("/usr/share/color/icc/colord/ProPhotoRGB.icc"));
        if (!icc.open(QIODevice::ReadOnly))
            qFatal("ProPhotoRGB.icc missing (colord-data)");
        const QByteArray plain = photo();
        write(untagged_, plain);
        write(tagged_, withIcc(plain, icc.readAll()));
    }
    const QString untagged_ = folder_.filePath(QStringLiteral("plain.jpg"));
    const QString tagged_ = folder_.filePath(QStringLiteral("prophoto.jpg"));

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

double bareDecodeMs(const QString& path) {
    const auto start = Clock::now();
    QImageReader reader(path);
    const QImage image = reader.read();
    const double ms = msSince(start);
    if (image.size() != QSize(kWidth, kHeight))
        qFatal("bare decode failed");
    return ms;
}

// The program's decode of `path` fitted into the screen, for an sRGB display.
double fittedDecodeMs(orlix::StandardPictureDecoder& decoder, const QString& path,
                      QImage* image = nullptr) {
    const auto start = Clock::now();
    orlix::platform::FileError error = orlix::platform::FileError::None;
    const std::atomic<bool> cancelled{false};
    orlix::DecodeResult result = decoder.decode(
        orlix::DecodeRequest{orlix::platform::PictureFile::open(path, error), kScreen, {}},
        cancelled);
    const double ms = msSince(start);
    if (!result.ok() || result.eighths >= orlix::DecodeResult::kWhole)
        qFatal("fitted decode failed");
    if (image)
        *image = std::move(result.image);
    return ms;
}

// The work colour adds to a decode: the profile read from the file and the transform looked
// up (`lookupMs`), then the fitted picture converted; the whole of it returned.
double colourMs(const QString& path, QImage& image, double& lookupMs) {
    const auto start = Clock::now();
    orlix::platform::FileError error = orlix::platform::FileError::None;
    const auto file = orlix::platform::PictureFile::open(path, error);
    const auto transform = orlix::ColourTransform::between(
        orlix::ColourProfile::readFrom(*file, orlix::PictureKind::Jpeg), {});
    if (!transform)
        qFatal("no transform for ProPhoto");
    lookupMs += msSince(start);
    transform->apply(image);
    return msSince(start);
}

void BM_ColourOfAFittedProPhotoPhoto(benchmark::State& state) {
    const Photos& files = photos();
    orlix::StandardPictureDecoder decoder;
    double floor = 0, plain = 0, tagged = 0, colour = 0, lookup = 0, floorCpu = 0, colourCpu = 0;
    for (auto _ : state) {
        double cpuStart = processCpuMs();
        floor += bareDecodeMs(files.untagged_);
        floorCpu += processCpuMs() - cpuStart;
        QImage decoded;
        plain += fittedDecodeMs(decoder, files.untagged_, &decoded);
        const double taggedMs = fittedDecodeMs(decoder, files.tagged_);
        tagged += taggedMs;
        cpuStart = processCpuMs();
        colour += colourMs(files.tagged_, decoded, lookup);
        colourCpu += processCpuMs() - cpuStart;
        state.SetIterationTime(taggedMs / 1000.0);
    }
    const double n = double(state.iterations());
    state.counters["floor_ms"] = floor / n;
    state.counters["plain_fitted_ms"] = plain / n;
    state.counters["prophoto_fitted_ms"] = tagged / n;
    state.counters["colour_ms"] = colour / n;
    state.counters["lookup_ms"] = lookup / n;
    state.counters["ratio"] = colour / floor;
    // The same in processor time: on a quiet machine with two cores the colour's share of the
    // wall time is about half of this.
    state.counters["cpu_ratio"] = colourCpu / floorCpu;
    state.counters["colour_cpu_ms"] = colourCpu / n;
    state.counters["floor_cpu_ms"] = floorCpu / n;
    state.counters["difference_ratio"] = (tagged - plain) / floor;
}
BENCHMARK(BM_ColourOfAFittedProPhotoPhoto)
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
