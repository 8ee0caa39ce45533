#include "settings/DialogKeys.h"

#include <QKeyEvent>
#include <QPushButton>
#include <QWidget>

namespace orlix {

DialogKeys::DialogKeys(QWidget& window, QPushButton& defaultButton, QPushButton& cancelButton)
    : QObject(&window), defaultButton_(defaultButton), cancelButton_(cancelButton) {
    defaultButton_.setDefault(true);
    window.installEventFilter(this);
    for (QWidget* child : window.findChildren<QWidget*>()) {
        if (child->window() == &window)
            child->installEventFilter(this);
    }
}

bool DialogKeys::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress)
        return false;
    switch (static_cast<QKeyEvent*>(event)->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        // Key presses go to the focused control, so the one watched is the one with the focus.
        if (watched == &cancelButton_)
            cancelButton_.click();
        else
            defaultButton_.click();
        return true;
    case Qt::Key_Escape:
        cancelButton_.click();
        return true;
    default:
        return false;
    }
}

} // namespace orlix
