#pragma once

#include <QString>

class QWidget;

namespace orlix::platform {

// Modal message boxes. Windows take one of these so that tests can see what would have been
// shown without blocking on a modal window.
class MessageService {
public:
    virtual ~MessageService() = default;

    // A modal box with the warning icon and a single OK button; returns when it is closed.
    virtual void warning(QWidget* parent, const QString& title, const QString& text) = 0;
};

// The real thing: QMessageBox.
class DesktopMessageService final : public MessageService {
public:
    void warning(QWidget* parent, const QString& title, const QString& text) override;
};

} // namespace orlix::platform
