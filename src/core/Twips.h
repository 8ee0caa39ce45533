#pragma once

namespace orlix {

// Windows are laid out in twips (1/1440 inch); the program treats a logical pixel as 1/96 inch,
// so there are 15 twips to a pixel whatever the screen's density (Qt's high-DPI scaling turns
// logical pixels into device pixels).
inline constexpr int kTwipsPerPixel = 15;

// Twips -> logical pixels, to the nearest pixel.
constexpr int twipsToPixels(double twips) {
    const double px = twips / kTwipsPerPixel;
    return static_cast<int>(px < 0 ? px - 0.5 : px + 0.5);
}

} // namespace orlix
