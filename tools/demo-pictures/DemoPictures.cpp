#include "DemoPictures.h"

#include <QFont>
#include <QFontMetrics>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

#include <cmath>

namespace orlix::demo {

namespace {

constexpr double kPi = 3.14159265358979323846;

// A caption on a translucent band near the bottom-left corner.
void caption(QPainter& painter, const QString& title, const QString& detail) {
    const QRect area = painter.viewport();
    const int titleSize = std::max(14, area.height() / 22);
    QFont titleFont(QStringLiteral("DejaVu Sans"));
    titleFont.setPixelSize(titleSize);
    titleFont.setBold(true);
    QFont detailFont(QStringLiteral("DejaVu Sans"));
    detailFont.setPixelSize(std::max(10, titleSize * 11 / 20));

    const int margin = titleSize;
    const int bandHeight = titleSize * 2 + margin / 2;
    const int textWidth = std::max(QFontMetrics(titleFont).horizontalAdvance(title),
                                   QFontMetrics(detailFont).horizontalAdvance(detail));
    const QRect band(margin, area.height() - margin - bandHeight,
                     std::min(area.width() - 2 * margin, textWidth + margin), bandHeight);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0, 0, 0, 110));
    painter.drawRoundedRect(band, titleSize / 3.0, titleSize / 3.0);
    painter.setPen(QColor(255, 255, 255));
    painter.setFont(titleFont);
    painter.drawText(band.adjusted(margin / 2, margin / 4, 0, 0), Qt::AlignLeft | Qt::AlignTop,
                     title);
    painter.setPen(QColor(230, 230, 230));
    painter.setFont(detailFont);
    painter.drawText(band.adjusted(margin / 2, 0, 0, -margin / 4), Qt::AlignLeft | Qt::AlignBottom,
                     detail);
}

QString sizeText(const QImage& image, const char* format) {
    return QStringLiteral("%1 x %2 pixels, %3").arg(image.width()).arg(image.height()).arg(format);
}

// A wavy ridge from the left edge to the right, filled down to the bottom.
QPainterPath ridge(const QSize& size, double base, double amplitude, double waves, double phase) {
    QPainterPath path(QPointF(0, size.height()));
    for (int x = 0; x <= size.width(); x += 4) {
        const double t = static_cast<double>(x) / size.width();
        const double y = base + amplitude * (std::sin(t * waves * 2 * kPi + phase) * 0.6 +
                                             std::sin(t * waves * 5.3 * kPi + phase * 1.7) * 0.4);
        path.lineTo(x, y);
    }
    path.lineTo(size.width(), size.height());
    path.closeSubpath();
    return path;
}

QImage landscape() {
    QImage image(1600, 1000, QImage::Format_RGB32);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient sky(0, 0, 0, image.height());
    sky.setColorAt(0.0, QColor(28, 36, 92));
    sky.setColorAt(0.45, QColor(214, 104, 96));
    sky.setColorAt(0.7, QColor(250, 190, 110));
    p.fillRect(image.rect(), sky);
    QRadialGradient glow(QPointF(1050, 560), 260);
    glow.setColorAt(0.0, QColor(255, 240, 190, 255));
    glow.setColorAt(0.25, QColor(255, 220, 150, 255));
    glow.setColorAt(0.27, QColor(255, 200, 130, 120));
    glow.setColorAt(1.0, QColor(255, 200, 130, 0));
    p.setPen(Qt::NoPen);
    p.setBrush(glow);
    p.drawEllipse(QPointF(1050, 560), 260, 260);
    const QColor hills[] = {QColor(150, 80, 110), QColor(104, 56, 96), QColor(64, 38, 72),
                            QColor(34, 22, 44)};
    for (int i = 0; i < 4; ++i) {
        p.setBrush(hills[i]);
        p.drawPath(ridge(image.size(), 560 + i * 110, 60 - i * 8, 1.2 + i * 0.5, i * 1.3));
    }
    caption(p, QStringLiteral("Landscape: sunset over the hills"), sizeText(image, "JPEG"));
    return image;
}

QImage portrait() {
    QImage image(720, 1080, QImage::Format_RGB32);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient sea(0, 0, 0, image.height());
    sea.setColorAt(0.0, QColor(120, 220, 210));
    sea.setColorAt(1.0, QColor(8, 46, 86));
    p.fillRect(image.rect(), sea);
    // Light rays from the surface.
    for (int i = 0; i < 6; ++i) {
        QPainterPath ray;
        const double x = 60 + i * 120;
        ray.moveTo(x, 0);
        ray.lineTo(x + 70, 0);
        ray.lineTo(x + 220, image.height());
        ray.lineTo(x + 120, image.height());
        ray.closeSubpath();
        p.fillPath(ray, QColor(255, 255, 255, 18));
    }
    // Rising bubbles, placed by a fixed rule so that every build draws the same picture.
    for (int i = 0; i < 40; ++i) {
        const double x = std::fmod(i * 157.3, image.width());
        const double y = image.height() - std::fmod(i * 97.1 + i * i * 3.7, image.height());
        const double r = 6 + std::fmod(i * 13.7, 28);
        p.setPen(QPen(QColor(255, 255, 255, 150), 2));
        p.setBrush(QColor(255, 255, 255, 40));
        p.drawEllipse(QPointF(x, y), r, r);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(255, 255, 255, 170));
        p.drawEllipse(QPointF(x - r * 0.35, y - r * 0.35), r * 0.22, r * 0.22);
    }
    caption(p, QStringLiteral("Portrait: bubbles"), sizeText(image, "BMP"));
    return image;
}

QImage panorama() {
    QImage image(2560, 1600, QImage::Format_RGB32);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    QRadialGradient back(QPointF(image.width() / 2.0, image.height() / 2.0), image.width() * 0.7);
    back.setColorAt(0.0, QColor(40, 70, 120));
    back.setColorAt(1.0, QColor(10, 14, 30));
    p.fillRect(image.rect(), back);
    // Rings around the centre and a labelled grid, so that panning shows where one is.
    for (int i = 1; i <= 14; ++i) {
        p.setPen(QPen(QColor::fromHsv((i * 25) % 360, 140, 230, 160), 6));
        p.setBrush(Qt::NoBrush);
        p.drawEllipse(QPointF(image.width() / 2.0, image.height() / 2.0), i * 90.0, i * 90.0);
    }
    QFont gridFont(QStringLiteral("DejaVu Sans"));
    gridFont.setPixelSize(22);
    p.setFont(gridFont);
    for (int x = 0; x < image.width(); x += 320) {
        for (int y = 0; y < image.height(); y += 320) {
            p.setPen(QPen(QColor(255, 255, 255, 60), 1));
            p.drawLine(x, 0, x, image.height());
            p.drawLine(0, y, image.width(), y);
            p.setPen(QColor(255, 255, 255, 170));
            p.drawText(x + 10, y + 30, QStringLiteral("%1, %2").arg(x).arg(y));
        }
    }
    QFont cornerFont(QStringLiteral("DejaVu Sans"));
    cornerFont.setPixelSize(48);
    cornerFont.setBold(true);
    p.setFont(cornerFont);
    p.setPen(QColor(255, 230, 140));
    const QRect inner = image.rect().adjusted(40, 60, -40, -40);
    p.drawText(inner, Qt::AlignTop | Qt::AlignLeft, QStringLiteral("top left"));
    p.drawText(inner, Qt::AlignTop | Qt::AlignRight, QStringLiteral("top right"));
    p.drawText(inner, Qt::AlignBottom | Qt::AlignRight, QStringLiteral("bottom right"));
    caption(p, QStringLiteral("Larger than the screen: try RealSize and Shift+arrows"),
            sizeText(image, "JPEG"));
    return image;
}

QImage shapes() {
    QImage image(800, 600, QImage::Format_RGB32);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.fillRect(image.rect(), QColor(250, 246, 236));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(230, 80, 70));
    p.drawEllipse(QPointF(250, 240), 150, 150);
    p.setBrush(QColor(40, 120, 200, 210));
    p.drawRect(QRectF(330, 120, 260, 260));
    QPainterPath triangle;
    triangle.moveTo(520, 470);
    triangle.lineTo(720, 470);
    triangle.lineTo(620, 290);
    triangle.closeSubpath();
    p.fillPath(triangle, QColor(250, 190, 40, 230));
    p.setBrush(QColor(60, 170, 110));
    p.drawRoundedRect(QRectF(90, 420, 300, 60), 30, 30);
    caption(p, QStringLiteral("Shapes in flat colours"), sizeText(image, "GIF"));
    return image;
}

QImage small() {
    QImage image(320, 240, QImage::Format_RGB32);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient field(0, 0, image.width(), image.height());
    field.setColorAt(0.0, QColor(250, 210, 90));
    field.setColorAt(1.0, QColor(230, 120, 40));
    p.fillRect(image.rect(), field);
    p.setPen(QPen(QColor(255, 255, 255, 200), 3));
    p.setBrush(Qt::NoBrush);
    for (int i = 0; i < 5; ++i)
        p.drawEllipse(QPointF(230, 80), 12.0 + i * 16, 12.0 + i * 16);
    caption(p, QStringLiteral("Small: never enlarged"), sizeText(image, "BMP"));
    return image;
}

} // namespace

std::vector<DemoPicture> drawDemoPictures() {
    return {
        {QStringLiteral("demo-landscape.jpg"), landscape()},
        {QStringLiteral("demo-portrait.bmp"), portrait()},
        {QStringLiteral("demo-large.jpg"), panorama()},
        {QStringLiteral("demo-shapes.gif"), shapes()},
        {QStringLiteral("demo-small.bmp"), small()},
    };
}

} // namespace orlix::demo
