#include "DemoPictures.h"
#include "GifWriter.h"

#include <QBuffer>
#include <QImageReader>
#include <gtest/gtest.h>

#include <cstdint>

namespace orlix::demo {
namespace {

QImage noise(int width, int height) {
    QImage image(width, height, QImage::Format_RGB32);
    std::uint32_t state = 12345;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            state = state * 1664525u + 1013904223u;
            image.setPixel(x, y, state >> 8);
        }
    }
    return image;
}

QImage gradient(int width, int height) {
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.setPixel(x, y, qRgb(x * 255 / width, y * 255 / height, 128));
    return image;
}

QImage greys(int width) {
    QImage image(width, 8, QImage::Format_RGB32);
    for (int x = 0; x < width; ++x)
        for (int y = 0; y < 8; ++y)
            image.setPixel(x, y, qRgb(x * 255 / width, x * 255 / width, x * 255 / width));
    return image;
}

TEST(GifWriter, QtDecodesExactlyThePaletteColoursWritten) {
    QImage flat(64, 48, QImage::Format_RGB32);
    flat.fill(qRgb(200, 40, 90));
    const struct {
        const char* name;
        QImage image;
    } cases[] = {
        {"one pixel", gradient(1, 1)},
        {"flat", flat},
        {"gradient", gradient(300, 200)},
        // Noise fills the code table many times over, so the table resets are exercised.
        {"noise", noise(257, 199)},
        {"grey ramp", greys(512)},
    };
    for (const auto& c : cases) {
        QByteArray gif = encodeGif(c.image);
        QBuffer buffer(&gif);
        QImageReader reader(&buffer, "gif");
        const QImage decoded = reader.read().convertToFormat(QImage::Format_RGB32);
        ASSERT_FALSE(decoded.isNull()) << c.name << ": " << reader.errorString().toStdString();
        ASSERT_EQ(decoded.size(), c.image.size()) << c.name;
        const QByteArray indices = paletteIndices(c.image);
        int wrong = 0;
        for (int y = 0; y < decoded.height(); ++y)
            for (int x = 0; x < decoded.width(); ++x)
                wrong +=
                    decoded.pixel(x, y) !=
                    paletteColour(static_cast<unsigned char>(indices[y * decoded.width() + x]));
        EXPECT_EQ(wrong, 0) << c.name;
    }
}

TEST(GifWriter, PaletteStaysCloseToTheColours) {
    for (const QImage& image : {gradient(200, 100), greys(256)}) {
        const QByteArray indices = paletteIndices(image);
        long long error = 0;
        for (int i = 0; i < indices.size(); ++i) {
            const QRgb a = image.pixel(i % image.width(), i / image.width());
            const QRgb b = paletteColour(static_cast<unsigned char>(indices[i]));
            error += std::abs(qRed(a) - qRed(b)) + std::abs(qGreen(a) - qGreen(b)) +
                     std::abs(qBlue(a) - qBlue(b));
        }
        // Dithering spreads the error but keeps it within a palette step per pixel.
        EXPECT_LT(error / indices.size(), 3 * 51);
    }
    // Greys use the fine ramp: a mid grey comes out within a few levels.
    const QByteArray mid = paletteIndices(greys(256).copy(128, 0, 1, 1));
    EXPECT_LE(std::abs(qRed(paletteColour(static_cast<unsigned char>(mid[0]))) - 127), 7);
}

TEST(DemoPictures, CoverEveryFormatAndShape) {
    const std::vector<DemoPicture> pictures = drawDemoPictures();
    bool landscape = false, portrait = false, largerThanScreen = false;
    QStringList formats;
    for (const DemoPicture& picture : pictures) {
        ASSERT_FALSE(picture.image.isNull()) << picture.fileName.toStdString();
        landscape |= picture.image.width() > picture.image.height();
        portrait |= picture.image.height() > picture.image.width();
        largerThanScreen |= picture.image.width() > 1920 && picture.image.height() > 1200;
        formats.append(picture.fileName.section('.', -1));
    }
    EXPECT_TRUE(landscape);
    EXPECT_TRUE(portrait);
    EXPECT_TRUE(largerThanScreen);
    for (const char* format : {"bmp", "jpg", "gif"})
        EXPECT_TRUE(formats.contains(format)) << format;
}

} // namespace
} // namespace orlix::demo
