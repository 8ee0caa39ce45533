#include "viewer/steps/KeyMapping.h"

#include "viewer/steps/KeyCodes.h"

namespace orlix {

namespace {

std::int16_t keypadDigit(int qtKey) {
    switch (qtKey) {
    case Qt::Key_8:
        return keycode::kUp;
    case Qt::Key_2:
        return keycode::kDown;
    case Qt::Key_4:
        return keycode::kLeft;
    case Qt::Key_6:
        return keycode::kRight;
    case Qt::Key_7:
        return keycode::kHome;
    default:
        return 0;
    }
}

std::int16_t keyCode(int qtKey) {
    switch (qtKey) {
    case Qt::Key_Escape:
        return keycode::kEsc;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        return keycode::kEnter;
    case Qt::Key_Up:
        return keycode::kUp;
    case Qt::Key_Down:
        return keycode::kDown;
    case Qt::Key_Left:
        return keycode::kLeft;
    case Qt::Key_Right:
        return keycode::kRight;
    case Qt::Key_Home:
        return keycode::kHome;
    case Qt::Key_Control:
        return keycode::kCtrl;
    default:
        return 0;
    }
}

} // namespace

ViewerKey mapKey(int qtKey, Qt::KeyboardModifiers modifiers) {
    ViewerKey key;
    key.code = modifiers.testFlag(Qt::KeypadModifier) && keypadDigit(qtKey) != 0
                   ? keypadDigit(qtKey)
                   : keyCode(qtKey);
    if (modifiers.testFlag(Qt::ShiftModifier))
        key.shift |= keycode::kShiftBit;
    if (modifiers.testFlag(Qt::ControlModifier))
        key.shift |= 2;
    if (modifiers.testFlag(Qt::AltModifier))
        key.shift |= 4;
    return key;
}

} // namespace orlix
