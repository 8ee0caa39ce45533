#include "app/LinkCursor.h"

#include <QImage>
#include <QPainter>
#include <QPolygon>

namespace orlix {

namespace {

// The classic arrow outline, tip first, in pixels from the tip: the left edge runs straight
// down, the tail leaves it towards the lower right.
QPolygon arrowOutline(const QPoint& tip) {
    static const QPoint kPoints[] = {{0, 0},   {0, 21}, {5, 16}, {9, 25},
                                     {12, 24}, {8, 15}, {14, 15}};
    QPolygon outline;
    for (const QPoint& point : kPoints)
        outline << tip + point;
    return outline;
}

const QColor kArrowBlue(0, 0, 255);
const QColor kArrowEdge(0, 0, 128);
const QColor kShadowGrey(128, 128, 128);
constexpr int kShadowOffset = 2;

} // namespace

QPixmap drawLinkPointer() {
    // Drawn without anti-aliasing: a pointer is a handful of crisp colours, like the small
    // palette pointers the window system is used to, and the hot spot stays a solid pixel.
    QImage image(kLinkPointerSize, kLinkPointerSize, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing, false);

    const QPolygon arrow = arrowOutline(kLinkPointerHotSpot);
    painter.setPen(QPen(kShadowGrey, 1));
    painter.setBrush(kShadowGrey);
    painter.drawPolygon(arrow.translated(kShadowOffset, kShadowOffset));

    painter.setPen(QPen(kArrowEdge, 1));
    painter.setBrush(kArrowBlue);
    painter.drawPolygon(arrow);
    painter.end();
    return QPixmap::fromImage(image);
}

QCursor linkCursor() {
    return QCursor(drawLinkPointer(), kLinkPointerHotSpot.x(), kLinkPointerHotSpot.y());
}

} // namespace orlix
