#pragma once

#include <QString>

class QWidget;

namespace orlix::platform {

// Modal message boxes. Windows take one of these rather than showing boxes themselves, so that
// what they say can be taken anywhere, not only into a box that blocks until it is closed.
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
