#include "viewer/steps/SlideStepMachine.h"

#include "core/Settings.h"
#include "viewer/steps/FolderLister.h"
#include "viewer/steps/KeyActions.h"
#include "viewer/steps/PictureProvider.h"
#include "viewer/steps/SettingsWindowLink.h"
#include "viewer/steps/StepHost.h"

#include <memory>
#include <utility>

namespace orlix {

namespace {

using Outcome = SlideNavigator::Outcome;

std::int16_t switched(std::int16_t value) {
    return value == 1 ? 0 : 1;
}

// True while a listing or picture is being asked for. Requests are made as the last thing
// their caller does: an answer that comes before the request returns goes back up to a handler
// that takes up the held events; one that comes later has to take them up itself.
using Asking = std::shared_ptr<bool>;

} // namespace

SlideStepMachine::SlideStepMachine(StepHost& host, PictureProvider& pictures, FolderLister& lister,
                                   SettingsRecord& settings, SettingsWindowLink* settingsWindow,
                                   const Screen& screen)
    : host_(host), pictures_(pictures), lister_(lister), settings_(settings),
      settingsWindow_(settingsWindow), layout_(screen) {}

bool SlideStepMachine::closed() const {
    return silent() || phase_ == Phase::Closed;
}

ViewParams SlideStepMachine::currentView() const {
    return layout_.view(state_.viewHeight, settings_.RealSize == 1, host_.displayProfile());
}

std::int32_t SlideStepMachine::stepViewHeight() const {
    return layout_.viewHeight(host_.guideHeightTwips(), settings_.Guide == 1);
}

void SlideStepMachine::load() {
    phase_ = Phase::Loading;
    state_.folderIndex = -1;
    const FileEntry root{settings_.Path, kDirectoryBit};
    if (settings_.SubFolder != 1) {
        state_.folderList = EntryList{root};
        continueLoad(navigator_.findFirstFolder());
        return;
    }
    const FolderLister::Request request{root, settings_.Sort, kDirectoriesMask, QString(),
                                        settings_.Sort == 1};
    lister_.list(request, EntryList(1), [this](bool found, EntryList folders) {
        state_.folderList = found ? std::move(folders) : EntryList(1);
        continueLoad(navigator_.findFirstFolder());
    });
}

void SlideStepMachine::continueLoad(Outcome outcome) {
    if (outcome == Outcome::LoadFolder) {
        LoadFolderFiles();
        return;
    }
    phase_ = Phase::Ready;
    if (outcome != Outcome::Moved) {
        host_.loaded(false);
        return;
    }
    // The first tick moves to the right from before the first file.
    state_.fileIndex = -1;
    state_.lastKey = keycode::kRight;
    state_.advance = true;
    host_.paintGuide();
    // The first picture decodes while the window is made and shown, which on a real display
    // takes a while; its step finds the decode under way.
    if (!state_.fileList.empty()) {
        const ViewParams view =
            layout_.view(stepViewHeight(), settings_.RealSize == 1, host_.displayProfile());
        pictures_.prepare(state_.fileList.front().Path, sizeRequestFor(view, 0, 0), nullptr,
                          FullResolution::WhenAsked);
    }
    startTimer(1);
    host_.loaded(true);
}

void SlideStepMachine::LoadFolderFiles() {
    const bool progress = settings_.Sort == 1 && !silent();
    if (phase_ != Phase::Loading) {
        phase_ = silent()   ? Phase::ClosingListing
                 : progress ? Phase::ListingWithProgress
                            : Phase::Listing;
    }
    const FolderLister::Request request{state_.folderList[std::size_t(state_.folderIndex)],
                                        settings_.Sort, kAnyEntryMask, settings_.ExtList, progress};
    const Asking asking = std::make_shared<bool>(true);
    lister_.list(request, std::move(state_.fileList), [this, asking](bool found, EntryList files) {
        filesListed(found, std::move(files), !*asking);
    });
    *asking = false;
}

void SlideStepMachine::filesListed(bool found, EntryList files, bool later) {
    state_.fileList = std::move(files);
    if (found) {
        state_.lastFileIndex = static_cast<std::int32_t>(state_.fileList.size()) - 1;
        state_.fileIndex = 0;
    }
    if (phase_ == Phase::Loading) {
        continueLoad(navigator_.folderLoaded());
        return;
    }
    phase_ = silent() ? Phase::Closing : Phase::Ready;
    continueMove(navigator_.folderLoaded());
    if (later)
        drain();
}

void SlideStepMachine::tick() {
    switch (phase_) {
    case Phase::Ready:
        beginStep(state_.advance, FollowUp::None);
        drain();
        return;
    case Phase::Listing:
    case Phase::Decoding:
        held_.hold({HeldEvent::Kind::Tick, 0, 0, timer_.run()});
        return;
    default:
        return;
    }
}

void SlideStepMachine::keyDown(std::int16_t code, std::int16_t shift) {
    const std::optional<KeyBinding> key = bindingFor(code, shift);
    const bool closes = key && key->action == KeyAction::Close;
    switch (phase_) {
    case Phase::Ready:
        runKey(code, shift);
        drain();
        return;
    case Phase::Listing:
    case Phase::Decoding:
        if (!closes) {
            held_.hold({HeldEvent::Kind::KeyDown, code, shift, 0});
            return;
        }
        break;
    case Phase::Loading:
    case Phase::ListingWithProgress:
        if (!closes)
            return;
        break;
    default:
        return;
    }
    mark(key->label);
    escape();
}

void SlideStepMachine::keyUp(std::int16_t code, std::int16_t shift) {
    switch (phase_) {
    case Phase::Listing:
    case Phase::Decoding:
        held_.hold({HeldEvent::Kind::KeyUp, code, shift, 0});
        return;
    case Phase::Closing:
    case Phase::ClosingListing:
    case Phase::Closed:
        return;
    default:
        host_.paintGuide();
        return;
    }
}

void SlideStepMachine::redraw() {
    if (phase_ != Phase::Ready)
        return;
    state_.advance = false;
    beginStep(false, FollowUp::EndKey);
    drain();
}

void SlideStepMachine::close() {
    finish();
}

void SlideStepMachine::abandon() {
    phase_ = Phase::Closed;
    timer_.stop();
    held_.clear();
    pictures_.cancelAll();
    lister_.cancel();
}

void SlideStepMachine::runKey(std::int16_t code, std::int16_t shift) {
    const std::optional<KeyBinding> key = bindingFor(code, shift);
    if (!key) {
        endKey();
        return;
    }
    switch (key->action) {
    case KeyAction::Close:
        mark(key->label);
        escape();
        return;
    case KeyAction::PauseOrResume:
        mark(key->label);
        if (timer_.running())
            pause();
        else
            resume();
        break;
    case KeyAction::Step:
        pause();
        state_.lastKey = code;
        mark(key->label);
        state_.advance = true;
        beginStep(true, FollowUp::ResumeUnlessAuto);
        return;
    case KeyAction::Pan:
        pause(); // a pan never resumes the show
        mark(key->label);
        if (state_.folderIndex > -1)
            layout_.pan(code, state_.offsetX, state_.offsetY);
        if (redrawForKey())
            return;
        break;
    case KeyAction::SwitchRealSize:
        mark(key->label);
        switchRealSize();
        if (redrawForKey())
            return;
        break;
    case KeyAction::SwitchGuide:
        switchGuide();
        if (settings_.Guide == 1)
            mark(key->label);
        if (redrawForKey())
            return;
        break;
    }
    endKey();
}

void SlideStepMachine::switchRealSize() {
    settings_.RealSize = switched(settings_.RealSize);
    if (settingsWindow_)
        settingsWindow_->setRealSizeCheck(settings_.RealSize);
}

void SlideStepMachine::switchGuide() {
    settings_.Guide = switched(settings_.Guide);
    if (settingsWindow_)
        settingsWindow_->setGuideCheck(settings_.Guide);
}

bool SlideStepMachine::redrawForKey() {
    // Before the first folder is chosen there is nothing to draw.
    if (state_.folderIndex < 0)
        return false;
    state_.advance = false;
    beginStep(false, FollowUp::EndKey);
    return true;
}

void SlideStepMachine::endKey() {
    // The key action's last word: the next tick moves on again.
    if (phase_ != Phase::Closed)
        state_.advance = true;
}

void SlideStepMachine::beginStep(bool moves, FollowUp followUp) {
    step_ = Step{moves, followUp};
    setTimerInterval(std::int32_t(settings_.Interval) * 1000);
    if (!moves) {
        showCurrent();
        return;
    }
    state_.offsetX = 0;
    state_.offsetY = 0;
    continueMove(navigator_.move(state_.lastKey, settings_.Loop == 1, settings_.Auto != 0));
}

void SlideStepMachine::continueMove(Outcome outcome) {
    switch (outcome) {
    case Outcome::LoadFolder:
        LoadFolderFiles();
        return;
    case Outcome::Moved:
        showCurrent();
        return;
    case Outcome::EndOfShow:
    case Outcome::NoPictures:
        finish();
        return;
    }
}

void SlideStepMachine::showCurrent() {
    // Only while the viewer closes for want of pictures is there no current file; once it is
    // closing, no picture is wanted.
    const bool current = state_.lastFileIndex >= 0 && state_.fileIndex >= 0 &&
                         state_.fileIndex < static_cast<int>(state_.fileList.size());
    if (!current || silent()) {
        endStep();
        return;
    }
    state_.viewHeight = stepViewHeight();
    // A step that draws the picture again leaves it on screen until the new frame is there.
    if (step_.moves)
        host_.hidePicture();
    host_.showGuide(settings_.Guide == 1);
    const QString path = state_.fileList[std::size_t(state_.fileIndex)].Path;
    host_.setCaption(path);
    phase_ = Phase::Decoding;
    const Asking asking = std::make_shared<bool>(true);
    auto done = [this, asking](PicturePtr picture) {
        pictureArrived(std::move(picture), !*asking);
    };
    const SizeRequest request = sizeRequestFor(currentView(), state_.offsetX, state_.offsetY);
    if (step_.moves)
        pictures_.fetch(path, request, std::move(done));
    else
        pictures_.refine(PicBak, request, std::move(done));
    *asking = false;
}

void SlideStepMachine::pictureArrived(PicturePtr picture, bool later) {
    phase_ = Phase::Ready;
    finishStep(std::move(picture));
    if (later)
        drain();
}

void SlideStepMachine::finishStep(PicturePtr picture) {
    if (!silent()) {
        if (step_.moves)
            host_.forgetFrames();
        if (picture && picture->error != LoadError::None) {
            // Nothing of the previous picture may be shown under this file's name.
            host_.hidePicture();
            host_.forgetFrames();
            pictures_.retire(std::move(PicBak));
            PicBak.reset();
            if (isReported(picture->error)) {
                phase_ = Phase::Reporting;
                host_.warn(failureMessage(picture->error));
                if (phase_ != Phase::Reporting)
                    return; // the window was closed while the box was open
                phase_ = Phase::Ready;
            }
        } else if (picture && picture->ok()) {
            if (picture != PicBak)
                pictures_.retire(std::exchange(PicBak, std::move(picture)));
            layOutAndPaint();
        }
    }
    endStep();
}

void SlideStepMachine::layOutAndPaint() {
    const StepLayout::Shown shown =
        layout_.layOut(*PicBak, currentView(), state_.offsetX, state_.offsetY);
    host_.setCaption(shown.caption);
    host_.showPicture(*PicBak, shown.placement, shown.frame);
}

void SlideStepMachine::endStep() {
    ++stepsRun_;
    const FollowUp followUp = std::exchange(step_.followUp, FollowUp::None);
    if (followUp == FollowUp::ResumeUnlessAuto && settings_.Auto == 0)
        resume();
    if (followUp != FollowUp::None)
        endKey();
    if (silent())
        return;
    // What the show wants next: the picture the next step in its direction shows, while that
    // step stays in this folder, and, once the show has asked for a full resolution, that of a
    // picture shown reduced.
    wholeAsked_ = wholeAsked_ || settings_.RealSize == 1;
    const int next = navigator_.nextFileWithinFolder(state_.lastKey, settings_.Auto != 0);
    pictures_.prepare(next >= 0 ? state_.fileList[std::size_t(next)].Path : QString(),
                      sizeRequestFor(currentView(), 0, 0), PicBak,
                      wholeAsked_ ? FullResolution::Ahead : FullResolution::WhenAsked);
}

void SlideStepMachine::drain() {
    while (phase_ == Phase::Ready || phase_ == Phase::Closing) {
        const std::optional<HeldEvent> next = held_.takeNext();
        if (!next) {
            if (phase_ == Phase::Closing)
                finish();
            return;
        }
        dispatch(*next);
    }
}

void SlideStepMachine::dispatch(const HeldEvent& event) {
    switch (event.kind) {
    case HeldEvent::Kind::Tick:
        // A stopped or restarted timer would not have delivered it.
        if (timer_.delivers(event.timerRun))
            beginStep(state_.advance, FollowUp::None);
        return;
    case HeldEvent::Kind::KeyDown:
        runKey(event.code, event.shift);
        return;
    case HeldEvent::Kind::KeyUp:
        if (!silent())
            host_.paintGuide();
        return;
    }
}

void SlideStepMachine::escape() {
    switch (phase_) {
    case Phase::Decoding:
        // The picture is abandoned; the step ends without it, unseen, and what was held after
        // it runs on unseen.
        host_.hideViewer();
        pictures_.cancelAll();
        phase_ = Phase::Closing;
        finishStep(nullptr);
        drain();
        return;
    case Phase::Listing:
    case Phase::ListingWithProgress:
        // The listing decides where the step goes, so it carries on, without its window.
        host_.hideViewer();
        pictures_.cancelAll();
        lister_.closeProgress();
        phase_ = Phase::ClosingListing;
        return;
    default:
        finish();
        return;
    }
}

void SlideStepMachine::finish() {
    if (phase_ == Phase::Closed)
        return;
    abandon();
    host_.closeViewer();
}

void SlideStepMachine::mark(GuideLabel label) {
    if (!silent())
        host_.markGuide(label);
}

void SlideStepMachine::pause() {
    stopTimer();
    if (!silent())
        host_.setPaused(true);
}

void SlideStepMachine::resume() {
    startTimer(timer_.intervalMs()); // a full interval begins
    if (!silent())
        host_.setPaused(false);
}

void SlideStepMachine::startTimer(int intervalMs) {
    timer_.start(intervalMs);
    if (!silent())
        host_.startSlideTimer(intervalMs);
}

void SlideStepMachine::stopTimer() {
    timer_.stop();
    if (!silent())
        host_.stopSlideTimer();
}

void SlideStepMachine::setTimerInterval(int intervalMs) {
    if (timer_.setInterval(intervalMs) && !silent())
        host_.setSlideInterval(intervalMs);
}

} // namespace orlix
