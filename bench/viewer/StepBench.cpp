// Steps onto photos and the first photo of a show, on each screen, against a bare decode of the
// same photo with Qt's own reader (the program's decoder before it decoded ahead), and against
// libjpeg's single-threaded decode at the program's scale (for the figures on one core).

#include "NoMessages.h"
#include "PictureFolder.h"
#include "ViewerScene.h"

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
double paintMs(FormView& view) {
    const auto start = Clock::now();
    pictureView(view)->repaint();
    return msSince(start);
}

// A key pressed on a viewer that rests on a photo, timed from the key to the frame on screen.
// `prepare` readies the viewer for the key and says which key it is.
template <typename Prepare> void timeKeys(benchmark::State& state, Prepare prepare) {
    const BenchScreen& screen = benchScreen(state);
    PictureFolder folder(4);
    prepareSettings(folder.root());
    NoMessages box;
    ShowWatch watch;
    QPointer<FormView> view = openViewer(box, watch, screen);
    double total = 0, floor = 0, libjpeg = 0, paint = 0;
    for (auto _ : state) {
        const std::int16_t pressed = prepare(*view, watch, folder);
        floor += bareDecodeMs(folder.file(0));
        libjpeg += libjpegFloorMs(folder.file(0), screen);
        rest(watch, 200);
        const auto start = Clock::now();
        view->Form_KeyDown(pressed, 0);
        settleAndPaint(*view, watch);
        const double ms = msSince(start);
        total += ms;
        state.SetIterationTime(ms / 1000.0);
        paint += paintMs(*view);
    }
    report(state, total, floor, "step", libjpeg);
    state.counters["paint_ms"] = paint / double(state.iterations());
    delete view.data();
}

// A step onto the next photo, decoded ahead while the show rested at least a second.
void BM_StepOntoPhotoDecodedAhead(benchmark::State& state) {
    timeKeys(state, [](FormView&, const ShowWatch& watch, const PictureFolder&) {
        rest(watch);
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
    timeKeys(state, [kept](FormView& view, const ShowWatch& watch, const PictureFolder& folder) {
        if (kept) {
            view.Form_KeyDown(keycode::kRight, 0); // untimed: the step away from the photo
            settleAndPaint(view, watch);
        }
        rest(watch);
        if (!kept)
            folder.touch();
        return watch.steps().state().lastKey == keycode::kRight ? keycode::kLeft : keycode::kRight;
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
    prepareSettings(folder.root());
    NoMessages box;
    ShowWatch watch;
    double total = 0, floor = 0, libjpeg = 0, settled = 0;
    int guiFrames = 0;
    for (auto _ : state) {
        floor += bareDecodeMs(folder.file(0));
        libjpeg += libjpegFloorMs(folder.file(0), screen);
        const auto start = Clock::now();
        QPointer<FormView> view = openViewer(box, watch, screen);
        settled += msSince(start);
        guiFrames +=
            pictureView(*view)->frame().cacheKey() != watch.steps().heldPicture()->frame.cacheKey();
        pictureView(*view)->repaint();
        const double ms = msSince(start);
        total += ms;
        state.SetIterationTime(ms / 1000.0);
        delete view.data();
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
// out: the decode the viewer asks for (at the fit box, by the program's decoder), the fitted
// frame made from it, and a paint of the whole window with it. What BM_FirstPhotoOfAShow takes
// beyond their sum is the show's own: listing, hand-offs between threads, waits.
void BM_FirstPhotoParts(benchmark::State& state) {
    const BenchScreen& screen = benchScreen(state);
    PictureFolder folder(2);
    prepareSettings(folder.root());
    NoMessages box;
    ShowWatch watch;
    QPointer<FormView> view = openViewer(box, watch, screen);
    const SizeRequest request = watch.steps().heldPicture()->request;
    rest(watch, 0); // its decoding ahead done: nothing else decodes meanwhile
    const std::atomic<bool> running{false};
    double decode = 0, frame = 0, paint = 0;
    for (auto _ : state) {
        platform::FileError error = platform::FileError::None;
        auto file = platform::PictureFile::open(folder.file(0), error);
        auto start = Clock::now();
        const DecodeResult result =
            viewerDecoder()->decode(DecodeRequest{file, request.fitInto}, running);
        decode += msSince(start);
        if (!result.ok())
            qFatal("the photo did not decode");
        const FrameParams params = request.frames.frameFor(result.pixelSize);
        start = Clock::now();
        FrameRenderer().render(result.image, params);
        frame += msSince(start);
        // The window's own repaint leaves out the opaque picture box over it.
        start = Clock::now();
        view->repaint();
        pictureView(*view)->repaint();
        paint += msSince(start);
        state.SetIterationTime(msSince(start) / 1000.0);
    }
    const double n = double(state.iterations());
    state.counters["decode_ms"] = decode / n;
    state.counters["frame_ms"] = frame / n;
    state.counters["window_paint_ms"] = paint / n;
    delete view.data();
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
    prepareSettings(folder.root());
    NoMessages box;
    ShowWatch watch;
    QPointer<FormView> view = openViewer(box, watch);
    for (int i = 0; i < 2; ++i) {
        view->Form_KeyDown(keycode::kHome, 0);
        settleAndPaint(*view, watch);
    }
    double total = 0, floor = 0;
    for (auto _ : state) {
        floor += bareDecodeMs(folder.file(0));
        rest(watch, 200);
        view->Form_KeyDown(keycode::kRight, 0);
        settleAndPaint(*view, watch);
        if (rested)
            rest(watch, 200);
        const auto start = Clock::now();
        view->Form_KeyDown(keycode::kHome, 0);
        settleAndPaint(*view, watch);
        const double ms = msSince(start);
        total += ms;
        state.SetIterationTime(ms / 1000.0);
        view->Form_KeyDown(keycode::kHome, 0); // fitted again for the next round
        settleAndPaint(*view, watch);
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

} // namespace
} // namespace orlix::bench
