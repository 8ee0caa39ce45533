#pragma once

// What the viewer benchmarks share: the photo, the screens, the viewer's scene as they set it
// up, and the floors and figures they report.

#include "support/ViewerScene.h"

#include <QByteArray>
#include <QString>
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdint>
#include <memory>

namespace orlix {
class PictureDecoder;
class ProcessDecoder;
} // namespace orlix

namespace orlix::bench {

using Clock = std::chrono::steady_clock;

constexpr int kPhotoWidth = 6000, kPhotoHeight = 4000;
constexpr double kDecodedPhotoMb = kPhotoWidth * double(kPhotoHeight) * 4 / (1024.0 * 1024.0);

double msSince(Clock::time_point start);

// The screens the viewer is measured on. A 6000 x 4000 photo fits the first from a 1/2
// decode, the second (at 3240 x 2160) only from a whole one.
struct BenchScreen {
    int width;
    int height;
    const char* name;
};
inline constexpr BenchScreen kScreens[] = {{1920, 1080, "1920x1080"}, {3840, 2160, "3840x2160"}};

// Registers a benchmark once per screen; its argument is the screen's height.
void onEachScreen(benchmark::internal::Benchmark* benchmark);
// The screen a benchmark registered with onEachScreen() runs on; it names it in its label.
const BenchScreen& benchScreen(benchmark::State& state);
// The screen of the benchmarks that run on one only.
inline const BenchScreen& defaultScreen() {
    return kScreens[0];
}

// A 6000 x 4000 JPEG with photo-like detail, so that decoding does real work; made once.
const QByteArray& bigJpeg();

// The floor: a bare decode of the file with Qt's reader.
double bareDecodeMs(const QString& path);
// The floor of the figures taken on one core: libjpeg's own single-threaded decode of the file
// at the scale the program decodes it at for `screen`, as djpeg decodes. Measured in the same
// iterations as the figure, since a virtual machine's speed drifts within minutes.
double libjpegFloorMs(const QString& path, const BenchScreen& screen);

// The program's decoder, made in main: its decoder processes serve every viewer here. With
// `inProgramDecoder`, pictures are decoded on the decoding thread itself instead.
extern std::shared_ptr<ProcessDecoder> programDecoder;
extern bool inProgramDecoder;
// `cameraPhotos`: the photos carry a restart marker at every MCU row, as many cameras write them
// (and the two bands of a decode can then split its entropy decoding); otherwise none, as Qt
// writes them.
extern bool cameraPhotos;
std::shared_ptr<PictureDecoder> viewerDecoder();

// The viewer of a benchmark over the folder `root`, covering `screen`, its pictures decoded as
// the options say: Loop and the guide on, the names unsorted, a tick every `interval` seconds.
// It sleeps between events, as the program does. A failure box ends the run, as does a wait
// that never ends: either would spoil every figure after it.
class BenchScene : public test::ViewerScene {
public:
    explicit BenchScene(const QString& root, const BenchScreen& screen = defaultScreen(),
                        std::int16_t interval = 60);
    ~BenchScene() override;
};

// Runs events until the step has ended and its frame is on screen, painted once.
void settleAndPaint(test::ViewerScene& scene);

// The mean of `totalMs` per iteration as `<name>_ms`, the floor's and their ratio; with
// `libjpegMs`, that floor's too (`vs_libjpeg`).
void report(benchmark::State& state, double totalMs, double floorMs, const char* name,
            double libjpegMs = 0);

// A field of /proc/<process>/status, in kB; -1 when it cannot be read.
long statusKb(const char* field, const QString& process = QStringLiteral("self"));
// Resets the high-water mark of the resident set (Linux 4.0 and later).
bool resetPeak();

} // namespace orlix::bench
