#include "core/AppIcon.h"

#include <QGuiApplication>
#include <QPainter>
#include <QScreen>
#include <QSvgRenderer>

// The icon's resource is compiled into the static core library; its registration object would
// be dropped by the linker unless something refers to it, so it is initialised explicitly.
// Q_INIT_RESOURCE must be used outside any namespace.
static void initIconResource() {
    Q_INIT_RESOURCE(orlix);
}

namespace orlix {

namespace {

const char* const kIconResource = ":/orlix/orlix.svg";
constexpr int kIconSize = 32;

// Renders the drawing into a square image of the given side in device pixels.
QImage renderIcon(int side) {
    QImage image(side, side, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QSvgRenderer renderer{QString::fromLatin1(kIconResource)};
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    renderer.render(&painter, QRectF(0, 0, side, side));
    return image;
}

qreal screenRatio() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen != nullptr ? screen->devicePixelRatio() : 1.0;
}

} // namespace

QIcon appIcon() {
    initIconResource();
    QIcon icon;
    // Window managers pick the best fit; the small sizes are rendered rather than scaled down.
    for (int side : {16, 24, 32, 48, 64, 128, 256}) {
        icon.addPixmap(QPixmap::fromImage(renderIcon(side)));
    }
    return icon;
}

QPixmap appIconPixmap() {
    initIconResource();
    const qreal ratio = screenRatio();
    QPixmap pixmap = QPixmap::fromImage(renderIcon(qRound(kIconSize * ratio)));
    pixmap.setDevicePixelRatio(ratio);
    return pixmap;
}

} // namespace orlix
