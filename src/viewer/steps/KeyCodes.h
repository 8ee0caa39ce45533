#pragma once

#include <cstdint>

namespace orlix::keycode {

// The key codes the viewer works with; lastKey stores the arrow codes, so they are fixed.
inline constexpr std::int16_t kEnter = 13;
inline constexpr std::int16_t kCtrl = 17;
inline constexpr std::int16_t kEsc = 27;
inline constexpr std::int16_t kHome = 36;
inline constexpr std::int16_t kLeft = 37;
inline constexpr std::int16_t kUp = 38;
inline constexpr std::int16_t kRight = 39;
inline constexpr std::int16_t kDown = 40;

// The shift-state bit that the key handler looks at.
inline constexpr std::int16_t kShiftBit = 1;

} // namespace orlix::keycode
