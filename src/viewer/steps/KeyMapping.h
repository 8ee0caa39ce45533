#pragma once

#include <QtCore/qnamespace.h>

#include <cstdint>

namespace orlix {

// A key as the viewer's key handlers take it: the key code (KeyCodes.h; 0 for a key the
// viewer has no use for) and the shift state (bit 1 Shift, 2 Ctrl, 4 Alt).
struct ViewerKey {
    std::int16_t code = 0;
    std::int16_t shift = 0;
};

// Maps a Qt key and its modifiers. Return and the keypad's Enter are both Enter; the keypad's
// arrows and Home act like the main ones, with Num Lock off (they come as arrows) and on
// (they come as the digits 8, 2, 4, 6 and 7 printed beside the arrows).
ViewerKey mapKey(int qtKey, Qt::KeyboardModifiers modifiers);

} // namespace orlix
