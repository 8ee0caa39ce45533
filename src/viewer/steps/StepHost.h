#pragma once

#include "viewer/steps/DecodedPicture.h"
#include "viewer/steps/FrameParams.h"
#include "viewer/steps/GuideLabel.h"
#include "viewer/steps/ViewGeometry.h"

#include <QByteArray>
#include <QString>

#include <cstdint>

namespace orlix {

// What the slide-step machine asks of the viewer window: its slide timer, its labels, its
// picture box and its message boxes. The window implements it; tests stand in for it.
class StepHost {
public:
    virtual ~StepHost() = default;

    // The slide timer TimInterval. A start begins a full interval; a new interval restarts the
    // countdown of a running timer.
    virtual void startSlideTimer(int intervalMs) = 0;
    virtual void stopSlideTimer() = 0;
    virtual void setSlideInterval(int intervalMs) = 0;

    // Loading has ended: the show is about to start, or, without pictures, the viewer is to
    // close in a moment (TimUnload).
    virtual void loaded(bool hasPictures) = 0;

    // The labels: a key's mark, the guide's colours (PaintGuide), the caption's colour for a
    // paused show, the guide and caption shown or hidden, and the caption's text.
    virtual void markGuide(GuideLabel label) = 0;
    virtual void paintGuide() = 0;
    virtual void setPaused(bool paused) = 0;
    virtual void showGuide(bool shown) = 0;
    virtual void setCaption(const QString& caption) = 0;
    // A guide label's height in twips.
    virtual int guideHeightTwips() const = 0;
    // The ICC profile of the screen the window is on; empty for sRGB.
    virtual QByteArray displayProfile() const = 0;

    // PicView: hidden while a step lays it out, then shown at `placement` with `picture` in the
    // frame `frame` (the picture's own when it was made for it).
    virtual void hidePicture() = 0;
    virtual void showPicture(const DecodedPicture& picture, const PicturePlacement& placement,
                             const FrameParams& frame) = 0;
    // The frames made for the picture shown so far are of no further use.
    virtual void forgetFrames() = 0;

    // A modal failure box with `text`.
    virtual void warn(const QString& text) = 0;

    // The window goes from the screen and its timers stop; the viewer is closing.
    virtual void hideViewer() = 0;
    // The viewer has closed: the window is unloaded.
    virtual void closeViewer() = 0;
};

} // namespace orlix
