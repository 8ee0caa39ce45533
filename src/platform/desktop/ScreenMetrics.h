#pragma once

#include "core/Twips.h"

#include <QRect>

class QWidget;

namespace orlix::platform {

// Twips as every floor counts them.
using orlix::kTwipsPerPixel;
using orlix::twipsToPixels;

// What a window needs to know about the screen it covers.
struct ScreenMetrics {
    QRect geometry;                // logical pixels, in virtual-desktop coordinates
    double devicePixelRatio = 1.0; // device pixels per logical pixel

    int widthTwips() const { return geometry.width() * kTwipsPerPixel; }
    int heightTwips() const { return geometry.height() * kTwipsPerPixel; }
};

// The screen on which `widget` stands (the primary screen when it is null or not shown).
ScreenMetrics screenOf(const QWidget* widget);

// The primary screen.
ScreenMetrics primaryScreen();

} // namespace orlix::platform
