#pragma once

#include <QIcon>
#include <QPixmap>

namespace orlix {

// The application icon, a close-up of an eye drawn for this program: the settings window's
// window icon and the splash window's picture.
QIcon appIcon();

// The icon at 32 x 32 logical pixels.
QPixmap appIconPixmap();

} // namespace orlix
