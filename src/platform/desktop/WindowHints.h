#pragma once

class QWidget;

namespace orlix::platform {

// Keeps `window` off the desktop's taskbar and pager (the workspace switcher) each time it is
// shown from now on; call it before the window is first shown. Qt has no flag for this short of
// a tool window, which window managers treat as a palette of another window rather than as a
// window of its own with the keyboard. On X11 the window carries the _NET_WM_STATE_SKIP_TASKBAR
// and _NET_WM_STATE_SKIP_PAGER states; elsewhere nothing happens.
void keepOffTaskbar(QWidget* window);

// Asks the window system to give `window` the keyboard focus. On Wayland the compositor alone
// decides which window has the focus (it gives it to a newly shown window), so nothing is
// asked there.
void requestFocus(QWidget* window);

// Puts `window` above the program's other windows and asks for the focus as requestFocus()
// does. On Wayland the compositor keeps the stacking order to itself: nothing happens.
void bringToFront(QWidget* window);

} // namespace orlix::platform
