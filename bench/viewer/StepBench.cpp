// Steps onto photos and the first photo of a show, on each screen, against a bare decode of the
// same photo with Qt's own reader (the program's decoder before it decoded ahead), and against
// libjpeg's single-threaded decode at the program's scale (for the figures on one core).

#include "PictureFolder.h"
#include "ViewerBench.h"

#include "decode/codec/PictureDecoder.h"
#include "viewer/steps/KeyCodes.h"
#include "viewer/steps/SlideStepMachine.h"
#include "viewer/window/PictureBox.h"

#include <atomic>

namespace orlix::bench {
namespace {

namespace keycode = orlix::keycode;

// How long one more paint of the picture box takes, its frame unchanged: the part of a step's
// time that is drawing alone.
double paintMs(const test::ViewerScene& scene) {
    const auto start = Clock::now();
    scene.pictureView()->repaint();
    return msSince(start);
}

// A key pressed on a viewer that rests on a photo, timed from the key to the frame on screen.
// `prepare` readies the viewer for the key and says which key it is.
template <typename Prepare> void timeKeys(benchmark::State& state, Prepare prepare) {
    const BenchScreen& screen = benchScreen(state);
    PictureFolder folder(4);
    BenchScene scene(folder.root(), screen);
    scene.open();
    double total = 0, floor = 0, libjpeg = 0, paint = 0;
    for (auto _ : state) {
        const std::int16_t pressed = prepare(scene, folder);
        floor += bareDecodeMs(folder.file(0));
        libjpeg += libjpegFloorMs(folder.file(0), screen);
        scene.idle(200);
        const auto start = Clock::now();
        scene.view->Form_KeyDown(pressed, 0);
        settleAndPaint(scene);
        const double ms = msSince(start);
        total += ms;
        state.SetIterationTime(ms / 1000.0);
        paint += paintMs(scene);
    }
    report(state, total, floor, "step", libjpeg);
    state.counters["paint_ms"] = paint / double(state.iterations());
}

// A step onto the next photo, decoded ahead while the show rested at least a second.
void BM_StepOntoPhotoDecodedAhead(benchmark::State& state) {
    timeKeys(state, [](BenchScene& scene, const PictureFolder&) {
        scene.idle(1000);
        return keycode::kRight;
    });
}
BENCHMARK(BM_StepOntoPhotoDecodedAhead)
    ->Apply(onEachScreen)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(4);

// A step against the show's direction: back onto the photo shown before, kept from then; or
// (`kept` false) with every photo touched first, so that the photo before is read anew, as a
// file changed since, and nothing the step needs was decoded ahead.
void stepBack(benchmark::State& state, bool kept) {
    timeKeys(state, [kept](BenchScene& scene, const PictureFolder& folder) {
        if (kept) {
            scene.view->Form_KeyDown(keycode::kRight, 0); // untimed: the step away from the photo
            settleAndPaint(scene);
        }
        scene.idle(1000);
        if (!kept)
            folder.touch();
        return scene.steps().state().lastKey == keycode::kRight ? keycode::kLeft : keycode::kRight;
    });
}

void BM_StepOntoPhotoNotDecodedAhead(benchmark::State& state) {
    stepBack(state, false);
}
BENCHMARK(BM_StepOntoPhotoNotDecodedAhead)
    ->Apply(onEachScreen)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(4);

void BM_StepBackOntoThePhotoBefore(benchmark::State& state) {
    stepBack(state, true);
}
BENCHMARK(BM_StepBackOntoThePhotoBefore)
    ->Apply(onEachScreen)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(4);

// From opening the viewer to its first photo on screen; `settled_ms` is the part until the
// step has ended (the folder listed, the photo decoded and its frame made), the rest is a
// paint of the picture box.
void BM_FirstPhotoOfAShow(benchmark::State& state) {
    const BenchScreen& screen = benchScreen(state);
    PictureFolder folder(2);
    BenchScene scene(folder.root(), screen);
    double total = 0, floor = 0, libjpeg = 0, settled = 0;
    int guiFrames = 0;
    for (auto _ : state) {
        floor += bareDecodeMs(folder.file(0));
        libjpeg += libjpegFloorMs(folder.file(0), screen);
        const auto start = Clock::now();
        scene.open();
        settled += msSince(start);
        guiFrames += scene.pictureView()->frame().cacheKey() !=
                     scene.steps().heldPicture()->frame.cacheKey();
        scene.pictureView()->repaint();
        const double ms = msSince(start);
        total += ms;
        state.SetIterationTime(ms / 1000.0);
        scene.close();
    }
    report(state, total, floor, "first", libjpeg);
    state.counters["settled_ms"] = settled / double(state.iterations());
    // Frames made on the GUI thread rather than adopted from the decoding thread: each is a
    // fitted frame made twice, the second time where it stalls the show.
    state.counters["gui_frames"] = guiFrames / double(state.iterations());
}
BENCHMARK(BM_FirstPhotoOfAShow)
    ->Apply(onEachScreen)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(4);

// The parts of a first photo, each timed alone on the GUI thread for the view the viewer laid
// out: the decode the viewer asks for (at the fit box, shrunk to the frame, in two bands, by
// the program's decoder), and a paint of the whole window with it. What BM_FirstPhotoOfAShow
// takes beyond their sum is the show's own: listing, hand-offs between threads, waits.
void BM_FirstPhotoParts(benchmark::State& state) {
    const BenchScreen& screen = benchScreen(state);
    PictureFolder folder(2);
    BenchScene scene(folder.root(), screen);
    scene.open();
    const SizeRequest request = scene.steps().heldPicture()->request;
    scene.idle(); // its decoding ahead done: nothing else decodes meanwhile
    const std::atomic<bool> running{false};
    double decode = 0, paint = 0;
    for (auto _ : state) {
        platform::FileError error = platform::FileError::None;
        auto file = platform::PictureFile::open(folder.file(0), error);
        auto start = Clock::now();
        const DecodeResult result =
            viewerDecoder()->decode(DecodeRequest{file, request.fitInto, request.displayProfile,
                                                  false, true, request.frameBox},
                                    running);
        decode += msSince(start);
        if (!result.ok() || !result.framed)
            qFatal("the photo did not decode to its frame");
        // The window's own repaint leaves out the opaque picture box over it.
        start = Clock::now();
        scene.view->repaint();
        scene.pictureView()->repaint();
        paint += msSince(start);
        state.SetIterationTime(msSince(start) / 1000.0);
    }
    const double n = double(state.iterations());
    state.counters["decode_ms"] = decode / n;
    state.counters["window_paint_ms"] = paint / n;
}
BENCHMARK(BM_FirstPhotoParts)
    ->Apply(onEachScreen)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(4);

// Home on a fitted photo: at once after the step onto it (the worst case: its full resolution
// is still to be decoded), and after the show rested on it. Home is pressed twice first: from
// then on the show decodes the full resolution of the photo on screen ahead of a Home.
void home(benchmark::State& state, bool rested) {
    PictureFolder folder(4);
    BenchScene scene(folder.root());
    scene.open();
    FormView* view = scene.view;
    for (int i = 0; i < 2; ++i) {
        view->Form_KeyDown(keycode::kHome, 0);
        settleAndPaint(scene);
    }
    double total = 0, floor = 0;
    for (auto _ : state) {
        floor += bareDecodeMs(folder.file(0));
        scene.idle(200);
        view->Form_KeyDown(keycode::kRight, 0);
        settleAndPaint(scene);
        if (rested)
            scene.idle(200);
        const auto start = Clock::now();
        view->Form_KeyDown(keycode::kHome, 0);
        settleAndPaint(scene);
        const double ms = msSince(start);
        total += ms;
        state.SetIterationTime(ms / 1000.0);
        view->Form_KeyDown(keycode::kHome, 0); // fitted again for the next round
        settleAndPaint(scene);
    }
    report(state, total, floor, "home");
}
void BM_HomeRightAfterTheStep(benchmark::State& state) {
    home(state, false);
}
void BM_HomeAfterARest(benchmark::State& state) {
    home(state, true);
}
BENCHMARK(BM_HomeRightAfterTheStep)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(4);
BENCHMARK(BM_HomeAfterARest)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(4);

} // namespace
} // namespace orlix::bench
