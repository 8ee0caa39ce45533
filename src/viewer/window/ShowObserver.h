#pragma once

class QString;

namespace orlix {

class SlideStepMachine;

// Follows a show from outside the viewer, as a benchmark or a test does; the program follows
// none. The viewer window hands it the show's steps when it is made, and tells it every
// caption it writes and whenever its decoding thread goes from idle to busy and back.
class ShowObserver {
public:
    virtual ~ShowObserver() = default;
    // The show's steps, which live as long as the window.
    virtual void showMade(const SlideStepMachine& steps) = 0;
    // Every caption written, in order: a step's path, then, with its picture on screen, the
    // path with the picture's size and scale, the two lines joined by a carriage return.
    virtual void captionWritten(const QString& caption) = 0;
    // The decoding thread has work queued or running (`busy`), or has none left.
    virtual void decodingBusy(bool busy) = 0;
};

} // namespace orlix
