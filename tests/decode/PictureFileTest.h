#pragma once

#include "platform/files/PictureFile.h"
#include "support/TempTree.h"

#include <QFile>
#include <QImage>
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <unistd.h>

namespace orlix::test {

// Detail in every pixel, so that a row decoded from the wrong data or with the wrong
// neighbours differs in almost every pixel.
inline QImage detailed(QSize size) {
    QImage image(size, QImage::Format_RGB32);
    for (int y = 0; y < size.height(); ++y)
        for (int x = 0; x < size.width(); ++x)
            image.setPixel(x, y, qRgb((x * 7 + y * 3) & 0xff, (x * y / 3) & 0xff, (y * 11) & 0xff));
    return image;
}

// A GIF whose logical screen (16384 x 16385) is over the pixel limit.
inline const QByteArray kHugeGifScreen = QByteArray::fromHex(
    "47494638396100400140800000000000ffffff2c000000000100010000020244010021f90400000000003b");

// The ICC profile `name` of the system's colour folder (colord-data, icc-profiles-free).
inline QByteArray profileFile(const char* name) {
    QFile file(QStringLiteral("/usr/share/color/icc/") + QLatin1String(name));
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << name;
    return file.readAll();
}

// Picture files written into a scratch tree and opened as the program opens them.
class PictureFileTest : public ::testing::Test {
protected:
    // `bytes` at `name`, made up to `padTo` bytes with zeros (sparse) when that is longer, and
    // read through `read`.
    std::shared_ptr<platform::PictureFile>
    put(const QByteArray& name, const QByteArray& bytes, qint64 padTo = 0,
        platform::PictureFile::ReadAt read = platform::PictureFile::preadAt) {
        tree.write(name, bytes);
        if (padTo > bytes.size()) {
            EXPECT_EQ(::truncate(tree.path(name).constData(), padTo), 0);
        }
        platform::FileError error = platform::FileError::None;
        auto opened =
            platform::PictureFile::open(QString::fromUtf8(tree.path(name)), error, std::move(read));
        EXPECT_TRUE(opened) << name.constData();
        return opened;
    }

    TempTree tree;
    const std::atomic<bool> notCancelled{false};
};

} // namespace orlix::test
