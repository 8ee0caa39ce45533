#pragma once

#include <QCursor>
#include <QPixmap>
#include <QPoint>

namespace orlix {

// The splash window's link pointer: a blue arrow pointing up and to the left with a grey
// shadow, drawn in code at 32 x 32 pixels. Its hot spot is the arrow's tip.
inline constexpr int kLinkPointerSize = 32;
inline constexpr QPoint kLinkPointerHotSpot{1, 1};

// The pointer's picture: transparent outside the arrow and its shadow.
QPixmap drawLinkPointer();

// The pointer itself (a bitmap cursor with the hot spot at the tip).
QCursor linkCursor();

} // namespace orlix
