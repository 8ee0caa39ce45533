#include "platform/desktop/MessageService.h"

#include <QMessageBox>

namespace orlix::platform {

void DesktopMessageService::warning(QWidget* parent, const QString& title, const QString& text) {
    QMessageBox box(QMessageBox::Warning, title, text, QMessageBox::Ok, parent);
    box.exec();
}

} // namespace orlix::platform
