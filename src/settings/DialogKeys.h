#pragma once

#include <QObject>

class QPushButton;
class QWidget;

namespace orlix {

// Gives a plain top-level window the keys of a dialog, which Qt gives dialogs alone: Enter
// presses the focused button, or the default button when the focus is on anything else; Esc
// presses the cancel button. The keys reach whichever control has the focus first, so they are
// taken there: from the window and every control it holds when this is made. The default
// button is drawn as one. Lives as long as the window.
class DialogKeys : public QObject {
public:
    DialogKeys(QWidget& window, QPushButton& defaultButton, QPushButton& cancelButton);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QPushButton& defaultButton_;
    QPushButton& cancelButton_;
};

} // namespace orlix
