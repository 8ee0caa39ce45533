#pragma once

#include "core/FitGeometry.h"
#include "core/Twips.h"

#include <cstdint>
#include <iterator>

namespace orlix::fuzz {

// The device pixels per logical pixel a fuzz input picks a screen's from: the scale factors
// desktops offer, whole and fractional.
inline constexpr double kDevicePixelRatios[] = {1.0, 1.25, 1.5, 2.0};
inline constexpr int kRatioCodes = static_cast<int>(std::size(kDevicePixelRatios));

// The frame box of a view `width` x `height` logical pixels large (whole pixels, as widgets
// report their sizes) on a screen of ratio `ratioCode` (taken modulo kRatioCodes); empty
// when either length is 0.
inline FitBox frameBoxInput(std::uint16_t width, std::uint16_t height, unsigned ratioCode) {
    return FitBox{width * kTwipsPerPixel, height * kTwipsPerPixel,
                  kDevicePixelRatios[ratioCode % kRatioCodes]};
}

} // namespace orlix::fuzz
