#include "viewer/PictureBox.h"

#include <QPaintEvent>
#include <QPainter>

namespace orlix {

PictureBox::PictureBox(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::NoFocus);
}

void PictureBox::setFrame(const QImage& frame, qreal devicePixelRatio) {
    frame_ = frame;
    ratio_ = devicePixelRatio > 0 ? devicePixelRatio : 1.0;
    update();
}

void PictureBox::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    painter.fillRect(event->rect(), Qt::black);
    if (frame_.isNull())
        return;
    const QSizeF logical(frame_.width() / ratio_, frame_.height() / ratio_);
    painter.drawImage(QRectF(QPointF(0, 0), logical), frame_);
}

} // namespace orlix
