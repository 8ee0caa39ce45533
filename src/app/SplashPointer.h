#pragma once

#include <QPoint>
#include <QPointF>
#include <QRectF>

namespace orlix {

// Rounds to the nearest whole number; a half goes to the even neighbour (2.5 -> 2, 3.5 -> 4,
// -2.5 -> -2). Values beyond the range of int are clamped to it, NaN gives 0.
int roundHalfToEven(double value);

// Where the splash window puts the pointer when it becomes active: 60 % across and 40 % down
// the link label, in screen pixels. Everything comes in twips: the window's top-left corner on
// the screen (the window has no frame, so that is its client area's corner) and the label's
// rectangle within the window; the sums are divided by the screen's twips per pixel and then
// rounded half to even.
QPoint splashPointerPixel(const QPointF& windowTwips, const QRectF& linkTwips,
                          double twipsPerPixelX, double twipsPerPixelY);

} // namespace orlix
