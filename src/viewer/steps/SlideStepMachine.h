#pragma once

#include "viewer/steps/DecodedPicture.h"
#include "viewer/steps/GuideLabel.h"
#include "viewer/steps/HeldEvents.h"
#include "viewer/steps/SizeRequest.h"
#include "viewer/steps/SlideNavigator.h"
#include "viewer/steps/SlideTimer.h"
#include "viewer/steps/StepLayout.h"
#include "viewer/steps/ViewGeometry.h"
#include "viewer/steps/ViewerState.h"

#include <cstdint>

namespace orlix {

class FolderLister;
class PictureProvider;
class SettingsWindowLink;
class StepHost;
struct SettingsRecord;

// The slide show's steps and keys, without a window: the start-up's folder search, the slide
// step that the timer's ticks and the keys run, and the key actions.
//
// It keeps to one reference: the viewer behaves as the single-threaded program would if every
// folder were listed and every picture decoded on the GUI thread at the moment its step needs
// it, with the input that comes during a step handled after the step in the order it came, and
// the ticks that a stopped or restarted slide timer would no longer deliver never delivered.
//
// So a step that waits for a listing or a picture holds back the ticks and keys that come
// meanwhile and handles them, in order, when it ends; a held tick is delivered only while the
// timer still runs the run it came from. Esc during a wait closes at once: the window goes,
// and the events held before it run on unseen, for the switches of Settings (and the settings
// window's check boxes) that they make, up to the end of the show. While a progress window or
// a failure box is open, ticks and keys are dropped; Esc still closes during a progress window.
class SlideStepMachine {
public:
    enum class Phase {
        Loading,             // the start-up lists folders; events are dropped
        Ready,               // no step is under way: ticks and keys are handled at once
        Listing,             // a step waits for a folder listing: events are held
        ListingWithProgress, // the same under the progress window: events are dropped
        Decoding,            // a step waits for its picture: events are held
        Reporting,           // a failure box is open: events are dropped
        Closing,             // Esc came during a wait: the held events run on unseen
        ClosingListing,      // the same, waiting for a folder listing
        Closed,              // nothing runs any more
    };

    using Screen = ShowScreen;

    // `settings`: the program's settings, read at each use (the settings window's Start may
    // change them while a viewer is open); Home and Ctrl switch its RealSize and Guide for the
    // rest of the program, and `settingsWindow` (may be null) ticks its check boxes to match.
    SlideStepMachine(StepHost& host, PictureProvider& pictures, FolderLister& lister,
                     SettingsRecord& settings, SettingsWindowLink* settingsWindow,
                     const Screen& screen);

    // Form_Load's part after the window's own set-up: builds the folder list, looks for the
    // first folder with pictures and starts the show (or tells the host there is nothing).
    void load();
    // A tick of the slide timer: TimInterval_Timer.
    void tick();
    // The key handlers, with the viewer's key codes and shift state.
    void keyDown(std::int16_t code, std::int16_t shift);
    void keyUp(std::int16_t code, std::int16_t shift);
    // Draws the current picture again without moving; ignored while anything is under way.
    void redraw();
    // Closes the viewer (TimUnload).
    void close();
    // The window has been closed from outside: everything under way is abandoned.
    void abandon();

    Phase phase() const { return phase_; }
    // No step is under way and nothing is held.
    bool settled() const { return phase_ == Phase::Ready && held_.empty(); }
    // The window is gone or going.
    bool closed() const;
    const ViewerState& state() const { return state_; }
    // The picture held for redraws (PicBak); null after a failure.
    const DecodedPicture* heldPicture() const { return PicBak.get(); }
    // PicView's place in twips as last laid out.
    const PicturePlacement& placement() const { return layout_.placement(); }
    // How many slide steps have run to their end or to a failure.
    int stepsRun() const { return stepsRun_; }
    // The view the current picture is laid out for.
    ViewParams currentView() const;

private:
    // The rest of the key action that ran a step, done when the step ends.
    enum class FollowUp { None, EndKey, ResumeUnlessAuto };
    struct Step {
        bool moves = false;
        FollowUp followUp = FollowUp::None;
    };

    // The height a step lays its picture out in, clear of the guide when it is shown.
    std::int32_t stepViewHeight() const;
    bool silent() const { return phase_ == Phase::Closing || phase_ == Phase::ClosingListing; }
    void continueLoad(SlideNavigator::Outcome outcome);
    void LoadFolderFiles();
    void filesListed(bool found, EntryList files, bool later);
    void runKey(std::int16_t code, std::int16_t shift);
    void switchRealSize();
    void switchGuide();
    // Draws the current picture again after a key action; false when there is none yet.
    bool redrawForKey();
    void endKey();
    void beginStep(bool moves, FollowUp followUp);
    void continueMove(SlideNavigator::Outcome outcome);
    void showCurrent();
    void pictureArrived(PicturePtr picture, bool later);
    void finishStep(PicturePtr picture);
    void layOutAndPaint();
    void endStep();
    void drain();
    void dispatch(const HeldEvent& event);
    void escape();
    void finish();
    void mark(GuideLabel label);
    void pause();
    void resume();
    void startTimer(int intervalMs);
    void stopTimer();
    void setTimerInterval(int intervalMs);

    StepHost& host_;
    PictureProvider& pictures_;
    FolderLister& lister_;
    SettingsRecord& settings_;
    SettingsWindowLink* settingsWindow_;
    StepLayout layout_;

    Phase phase_ = Phase::Loading;
    Step step_;
    SlideTimer timer_;
    HeldEvents held_;
    ViewerState state_;
    SlideNavigator navigator_{state_};
    PicturePtr PicBak; // the decoded picture, upright, kept for redraws
    // The show has asked for a full resolution: a step of it was at real size (RealSize on at
    // Start, or Home). From then on that of a picture shown fitted is decoded ahead of a Home.
    bool wholeAsked_ = false;
    int stepsRun_ = 0;
};

} // namespace orlix
