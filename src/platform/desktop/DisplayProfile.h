#pragma once

#include <QByteArray>

class QScreen;

namespace orlix::platform {

// The ICC profile of the display `screen` (null: the primary screen), as the desktop's colour
// tools publish it; empty when there is none, and the display is then taken as sRGB. Call it
// on the GUI thread. It is cheap: the profile is read once and kept until the desktop
// announces a new one, which the next call then returns.
// On X11 it is the root window's _ICC_PROFILE, or _ICC_PROFILE_<n> for the n-th of several
// screens joined into one. On Wayland the compositor manages colour and takes pictures in
// sRGB: there it is always empty.
QByteArray displayProfile(const QScreen* screen);

} // namespace orlix::platform
