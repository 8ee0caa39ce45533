#include "viewer/steps/KeyActions.h"

#include "viewer/steps/KeyCodes.h"

#include <array>

namespace orlix {

namespace {

using namespace keycode;

constexpr std::array<KeyBinding, 12> kKeyTable{{
    {kEsc, ShiftRule::Either, GuideLabel::Exit, KeyAction::Close},
    {kEnter, ShiftRule::Either, GuideLabel::StopStart, KeyAction::PauseOrResume},
    {kUp, ShiftRule::Without, GuideLabel::PreviousFolder, KeyAction::Step},
    {kDown, ShiftRule::Without, GuideLabel::NextFolder, KeyAction::Step},
    {kLeft, ShiftRule::Without, GuideLabel::PreviousFile, KeyAction::Step},
    {kRight, ShiftRule::Without, GuideLabel::NextFile, KeyAction::Step},
    {kUp, ShiftRule::With, GuideLabel::MoveUp, KeyAction::Pan},
    {kDown, ShiftRule::With, GuideLabel::MoveDown, KeyAction::Pan},
    {kLeft, ShiftRule::With, GuideLabel::MoveLeft, KeyAction::Pan},
    {kRight, ShiftRule::With, GuideLabel::MoveRight, KeyAction::Pan},
    {kHome, ShiftRule::Either, GuideLabel::RealSize, KeyAction::SwitchRealSize},
    {kCtrl, ShiftRule::Either, GuideLabel::Guide, KeyAction::SwitchGuide},
}};

bool matches(ShiftRule rule, bool shifted) {
    switch (rule) {
    case ShiftRule::Either:
        return true;
    case ShiftRule::Without:
        return !shifted;
    case ShiftRule::With:
        return shifted;
    }
    return false;
}

} // namespace

std::optional<KeyBinding> bindingFor(std::int16_t code, std::int16_t shift) {
    const bool shifted = (shift & kShiftBit) != 0;
    for (const KeyBinding& binding : kKeyTable) {
        if (binding.code == code && matches(binding.shift, shifted))
            return binding;
    }
    return std::nullopt;
}

std::optional<GuideLabel> directionLabel(std::int16_t code) {
    const std::optional<KeyBinding> binding = bindingFor(code, 0);
    if (binding && binding->action == KeyAction::Step)
        return binding->label;
    return std::nullopt;
}

} // namespace orlix
