#include "settings/PathDrop.h"

#include "settings/UriList.h"

#include <QComboBox>
#include <QDropEvent>
#include <QLineEdit>
#include <QMimeData>

namespace orlix {

PathDrop::PathDrop(QComboBox& box, Take take) : QObject(&box), take_(std::move(take)) {
    for (QWidget* target : {static_cast<QWidget*>(&box), static_cast<QWidget*>(box.lineEdit())}) {
        target->setAcceptDrops(true);
        target->installEventFilter(this);
    }
}

bool PathDrop::eventFilter(QObject*, QEvent* event) {
    switch (event->type()) {
    case QEvent::DragEnter:
    case QEvent::DragMove:
    case QEvent::Drop:
        break;
    default:
        return false;
    }
    auto* drag = static_cast<QDropEvent*>(event);
    const QMimeData* data = drag->mimeData();
    const bool welcome =
        data != nullptr &&
        (event->type() == QEvent::Drop ? take_(*data) : !FirstDroppedPath(*data).isEmpty());
    if (welcome)
        drag->acceptProposedAction();
    else
        drag->ignore();
    return true;
}

} // namespace orlix
