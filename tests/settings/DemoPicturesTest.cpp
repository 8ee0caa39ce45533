#include "DemoPictures.h"
#include "GifWriter.h"

#include <QBuffer>
#include <QImageReader>
#include <gtest/gtest.h>

namespace orlix::demo {
namespace {

// Every demo picture also goes through the GIF encoder: the large one fills the code table
// many times over, so its resets are exercised.
TEST(DemoPictures, CoverEveryShapeAndFormatAndSurviveTheGifEncoder) {
    bool landscape = false, portrait = false, largerThanScreen = false;
    QStringList formats;
    for (const DemoPicture& picture : drawDemoPictures()) {
        SCOPED_TRACE(picture.fileName.toStdString());
        const QImage& image = picture.image;
        landscape |= image.width() > image.height();
        portrait |= image.height() > image.width();
        largerThanScreen |= image.width() > 1920 && image.height() > 1200;
        formats.append(picture.fileName.section('.', -1));

        QByteArray gif = encodeGif(image);
        QBuffer buffer(&gif);
        const QImage decoded =
            QImageReader(&buffer, "gif").read().convertToFormat(QImage::Format_RGB32);
        ASSERT_EQ(decoded.size(), image.size());
        const QByteArray indices = paletteIndices(image);
        long long wrong = 0, error = 0;
        for (int i = 0; i < indices.size(); ++i) {
            const QPoint at(i % image.width(), i / image.width());
            const QRgb a = image.pixel(at), b = paletteColour(static_cast<uchar>(indices[i]));
            wrong += decoded.pixel(at) != b;
            error += std::abs(qRed(a) - qRed(b)) + std::abs(qGreen(a) - qGreen(b)) +
                     std::abs(qBlue(a) - qBlue(b));
        }
        EXPECT_EQ(wrong, 0) << "Qt decodes exactly the palette colours written";
        EXPECT_LT(error / indices.size(), 3 * 51) << "dithering keeps within a palette step";
    }
    EXPECT_TRUE(landscape && portrait && largerThanScreen);
    for (const char* format : {"bmp", "jpg", "gif"})
        EXPECT_TRUE(formats.contains(format)) << format;
}

} // namespace
} // namespace orlix::demo
