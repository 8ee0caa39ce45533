#pragma once

#include <memory>

namespace orlix::platform {

// Keeps the screen from blanking (screen saver, screen blanking, power saving of the display)
// while inhibited. Every call returns at once: nothing waits on the desktop. Asking for the
// state already asked for changes nothing, so set(true) twice is one inhibition; the
// destructor releases what is held.
class ScreenSaverInhibitor {
public:
    virtual ~ScreenSaverInhibitor() = default;
    ScreenSaverInhibitor() = default;
    ScreenSaverInhibitor(const ScreenSaverInhibitor&) = delete;
    ScreenSaverInhibitor& operator=(const ScreenSaverInhibitor&) = delete;

    virtual void setInhibited(bool inhibited) = 0;
    // What was asked last, whether or not the desktop has been reached yet.
    virtual bool isInhibited() const = 0;
};

// The desktop's own inhibition: its screen-saver service where it has one, else what the
// window system offers, else one that does nothing. Never reports or prints anything.
// Call with the application object in place, from the GUI thread.
std::unique_ptr<ScreenSaverInhibitor> makeDesktopScreenSaverInhibitor();

// Connects to the session bus now, where the session has one, so that the connection is open
// before the program gives up opening new ones (ProgramLockdown.h): the screen saver's service
// and input methods such as Fcitx are reached over it later. Call with the application object
// in place, from the GUI thread.
void connectSessionBus();

} // namespace orlix::platform
