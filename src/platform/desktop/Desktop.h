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
// Once startAddressOpener() has run, web addresses go to its helper and nothing else is opened.
void openAddress(const QString& address);

// Starts the helper process that opens addresses for the program after it has locked itself
// down (ProgramLockdown.h), so that the browser runs without the program's restrictions. Call
// before the lockdown and before any thread exists: it forks. False when it cannot be started.
bool startAddressOpener();

// The folder that holds the program's executable file.
QString executableFolder();

} // namespace orlix::platform
