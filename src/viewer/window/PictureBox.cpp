#include "viewer/window/PictureBox.h"

#include <QPaintEvent>
#include <QPainter>

#include <cmath>

namespace orlix {

PictureBox::PictureBox(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::NoFocus);
}

namespace {

bool fractional(qreal ratio) {
    return ratio != std::floor(ratio);
}

// How far the box reaches past its place at a fractional ratio, in logical pixels.
constexpr int kFractionalSlack = 2;

} // namespace

void PictureBox::place(const QRect& logical, qreal devicePixelRatio) {
    // At a fractional ratio the box's edges fall between device pixels, and the window system
    // rounds the area it lets the box paint: the frame's last row or column could be cut off.
    // The box reaches a little further (black, like the window behind it), and the frame is
    // drawn from the first whole device pixel inside it.
    setGeometry(fractional(devicePixelRatio)
                    ? logical.adjusted(0, 0, kFractionalSlack, kFractionalSlack)
                    : logical);
}

void PictureBox::setFrame(const QImage& frame, qreal devicePixelRatio) {
    frame_ = frame;
    ratio_ = devicePixelRatio > 0 ? devicePixelRatio : 1.0;
    update();
}

void PictureBox::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    if (frame_.isNull()) {
        painter.fillRect(event->rect(), Qt::black);
        return;
    }
    const QSizeF logical(frame_.width() / ratio_, frame_.height() / ratio_);
    QPointF origin(0, 0);
    if (fractional(ratio_)) {
        // One frame pixel on one device pixel: start on a whole one.
        const QPointF device = QPointF(mapTo(window(), QPoint(0, 0))) * ratio_;
        const auto up = [](qreal at) { return std::ceil(at - 1e-9) - at; };
        origin = QPointF(up(device.x()), up(device.y())) / ratio_;
    }
    const QRectF target(origin, logical);
    // Black only where the frame does not reach: filling under it too would write every pixel
    // of a screen-sized frame twice, a paint's whole cost again on a 4K screen. The logical
    // pixels the frame covers only in part are filled, and the frame drawn over them.
    const QRect covered(
        QPoint(int(std::ceil(target.left())), int(std::ceil(target.top()))),
        QPoint(int(std::floor(target.right())) - 1, int(std::floor(target.bottom())) - 1));
    for (const QRect& rect : event->region().subtracted(covered))
        painter.fillRect(rect, Qt::black);
    painter.drawImage(target, frame_);
}

} // namespace orlix
