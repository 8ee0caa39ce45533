#pragma once

// What the viewer benchmarks share: the photo, the screens, the viewer opened on the offscreen
// platform and the waits on its event loop.

#include "viewer/window/FormView.h"
#include "viewer/window/ShowObserver.h"

#include <QByteArray>
#include <QPointer>
#include <QString>
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>

namespace orlix {
class PictureBox;
class PictureDecoder;
class ProcessDecoder;
class SlideStepMachine;
namespace platform {
class MessageService;
}
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

// Follows a viewer's show: its steps, and whether its decoding thread is busy.
class ShowWatch : public ShowObserver {
public:
    void showMade(const SlideStepMachine& steps) override;
    void captionWritten(const QString&) override {}
    void decodingBusy(bool busy) override { decoding_ = busy; }
    const SlideStepMachine& steps() const { return *steps_; }
    bool decoding() const { return decoding_; }

private:
    const SlideStepMachine* steps_ = nullptr;
    bool decoding_ = false;
};

// A viewer's picture box, PicView.
PictureBox* pictureView(const FormView& view);

// Runs the event loop until `done`. It sleeps between events, as the program's own loop does:
// a thread that spun here would take a core from the decoding threads.
void waitFor(const std::function<bool()>& done);
// Runs events until the step has ended and its frame is on screen, painted once.
void settleAndPaint(FormView& view, const ShowWatch& watch);
// Runs events until the decoding thread has done all it wants to, and at least `ms` passed.
void rest(const ShowWatch& watch, double ms = 1000);

void prepareSettings(const QString& root, std::int16_t interval = 60);

// The program's decoder, made in main: its decoder processes serve every viewer here. With
// `inProgramDecoder`, pictures are decoded on the decoding thread itself instead.
extern std::shared_ptr<ProcessDecoder> programDecoder;
extern bool inProgramDecoder;
// `cameraPhotos`: the photos carry a restart marker at every MCU row, as many cameras write them
// (and the two bands of a decode can then split its entropy decoding); otherwise none, as Qt
// writes them.
extern bool cameraPhotos;
std::shared_ptr<PictureDecoder> viewerDecoder();

// A viewer covering `screen`, opened and showing its first picture, followed by `watch`.
QPointer<FormView> openViewer(platform::MessageService& box, ShowWatch& watch,
                              const BenchScreen& screen = defaultScreen());

// The mean of `totalMs` per iteration as `<name>_ms`, the floor's and their ratio; with
// `libjpegMs`, that floor's too (`vs_libjpeg`).
void report(benchmark::State& state, double totalMs, double floorMs, const char* name,
            double libjpegMs = 0);

// A field of /proc/<process>/status, in kB; -1 when it cannot be read.
long statusKb(const char* field, const QString& process = QStringLiteral("self"));
// Resets the high-water mark of the resident set (Linux 4.0 and later).
bool resetPeak();

} // namespace orlix::bench
