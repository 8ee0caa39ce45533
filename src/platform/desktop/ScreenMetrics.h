#pragma once

#include <QRect>

class QWidget;

namespace orlix::platform {

// Windows are laid out in twips (1/1440 inch); the program treats a logical pixel as 1/96 inch,
// so there are 15 twips to a pixel whatever the screen's density (Qt's high-DPI scaling turns
// logical pixels into device pixels).
inline constexpr int kTwipsPerPixel = 15;

// Twips -> logical pixels, to the nearest pixel.
constexpr int twipsToPixels(double twips) {
    const double px = twips / kTwipsPerPixel;
    return static_cast<int>(px < 0 ? px - 0.5 : px + 0.5);
}

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
