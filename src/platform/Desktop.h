#pragma once

#include <QPoint>
#include <QString>

namespace orlix::platform {

// Moves the mouse pointer to a point of the screen in pixels. Returns false, and does
// nothing, where the platform does not let a program move the pointer (Wayland).
bool movePointer(const QPoint& screenPixel);

// Whether a program may move the pointer on the Qt platform of that name (not on Wayland).
bool platformLetsProgramsMovePointer(const QString& platformName);

// Asks the desktop to open an address with its default handler. The result is not reported.
void openAddress(const QString& address);

// The folder that holds the program's executable file.
QString executableFolder();

} // namespace orlix::platform
