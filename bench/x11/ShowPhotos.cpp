#include "ShowPhotos.h"

#include "common/PhotoJpeg.h"

#include <QColor>
#include <QDir>
#include <QFile>
#include <QPainter>

#include <cstdlib>

namespace orlix::bench {

namespace {

constexpr QSize kLarge(6000, 4000), kSmall(2000, 1500);
constexpr int kPatchTolerance = 24; // JPEG, scaling and colour transforms move it a bit
// Hues this far apart differ by far more than the tolerance in at least one channel.
constexpr int kHueStep = 360 / ShowPhotos::kCount;

QRgb patchOf(int photo) {
    return QColor::fromHsv(photo * kHueStep, 255, 230).rgb();
}

bool near(QRgb a, QRgb b) {
    return std::abs(qRed(a) - qRed(b)) <= kPatchTolerance &&
           std::abs(qGreen(a) - qGreen(b)) <= kPatchTolerance &&
           std::abs(qBlue(a) - qBlue(b)) <= kPatchTolerance;
}

} // namespace

ShowPhotos::ShowPhotos() {
    // One detailed picture of each size, with each photo's own patch painted on a copy.
    const QImage large = photoImage(kLarge.width(), kLarge.height());
    const QImage small = photoImage(kSmall.width(), kSmall.height());
    for (int photo = 0; photo < kCount; ++photo) {
        QImage image = photo % 2 == 0 ? large : small;
        const QSize size = image.size();
        QPainter(&image).fillRect(
            QRect(size.width() * 2 / 5, size.height() * 2 / 5, size.width() / 5, size.height() / 5),
            QColor(patchOf(photo)));
        QFile file(QDir(folder_.path())
                       .filePath(QStringLiteral("photo%1.jpg").arg(photo, 2, 10, QChar('0'))));
        if (!file.open(QIODevice::WriteOnly) || file.write(jpegOf(image)) <= 0)
            qFatal("cannot write the photos");
    }
}

int ShowPhotos::photoAt(QRgb centre) {
    for (int photo = 0; photo < kCount; ++photo) {
        if (near(centre, patchOf(photo)))
            return photo;
    }
    return -1;
}

} // namespace orlix::bench
