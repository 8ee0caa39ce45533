#pragma once

#include "viewer/steps/GuideLabel.h"

#include <cstdint>
#include <optional>

namespace orlix {

// What a key press does in the viewer.
enum class KeyAction {
    Close,         // leave the viewer
    PauseOrResume, // switch the slide timer between running and stopped
    Step,          // move one file or folder in the key's direction, which the show then keeps
    Pan,           // move the picture shown at real size by a tenth of the screen
    SwitchRealSize,
    SwitchGuide,
};

// Whether a binding asks for Shift.
enum class ShiftRule { Either, Without, With };

// One row of the viewer's key table: the key code (KeyCodes.h), the Shift it wants, the guide
// label that describes it and the action.
struct KeyBinding {
    std::int16_t code;
    ShiftRule shift;
    GuideLabel label;
    KeyAction action;
};

// The binding of a key press with its shift state (only the Shift bit counts); none for a key
// the viewer has no use for.
std::optional<KeyBinding> bindingFor(std::int16_t code, std::int16_t shift);

// The guide label of a stepping direction (an arrow key without Shift); none for other codes.
std::optional<GuideLabel> directionLabel(std::int16_t code);

} // namespace orlix
