// JPEG files made to hurt: claiming more than they hold, with endless scans, in colour spaces the
// common path does not see, on a failing disk. Each must end soon, write nothing outside its
// picture and fail in the way the viewer reports.

#include "decode/codec/JpegReader.h"
#include "decode/codec/PictureDecoder.h"

#include "PictureFileTest.h"
#include "support/JpegWriter.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <climits>

namespace orlix {
namespace {

using test::detailed;
using test::JpegSpace;
using test::writeJpeg;
using Outcome = JpegReader::Outcome;

class HostileJpeg : public test::PictureFileTest {
protected:
    // The reader's outcome for `bytes` decoded whole.
    Outcome read(const QByteArray& bytes, JpegReader::Options options, QImage& image) {
        const auto file = put("read.jpg", bytes);
        return JpegReader(*file, std::move(options)).read(JpegReader::kWhole, image);
    }
};

JpegReader::Options split(unsigned rowsToSplit) {
    JpegReader::Options options;
    options.rowsToSplit = rowsToSplit;
    options.startSecondBand = [] { return true; }; // on one CPU too
    return options;
}

TEST_F(HostileJpeg, EveryColourSpaceLooksAsQtsReaderShowsItInOneBandOrTwo) {
    const QImage picture = detailed({61, 45});
    // Without a second thread to be had, the one band must do every row.
    int asked = 0;
    JpegReader::Options alone = split(8);
    alone.startSecondBand = [&asked] {
        ++asked;
        return false;
    };
    const std::pair<const char*, JpegReader::Options> ways[] = {
        {"two bands", split(8)}, {"one band", split(512)}, {"no second thread", alone}};
    for (const JpegSpace space :
         {JpegSpace::Grey, JpegSpace::YCbCr, JpegSpace::Rgb, JpegSpace::Cmyk, JpegSpace::Ycck}) {
        for (const bool progressive : {false, true}) {
            const QByteArray bytes = writeJpeg(picture, space, progressive);
            const QImage expected =
                QImage::fromData(bytes, "JPEG").convertToFormat(QImage::Format_RGB32);
            for (const auto& [how, options] : ways) {
                SCOPED_TRACE(testing::Message() << "colour space " << int(space) << ", progressive "
                                                << progressive << ", " << how);
                QImage image;
                ASSERT_EQ(read(bytes, options, image), Outcome::Decoded);
                EXPECT_EQ(image, expected);
            }
        }
    }
    // Once for each baseline picture; a progressive one is decoded in one band from the start.
    EXPECT_EQ(asked, 5);
}

// How soon a cancel takes effect is a matter of how often the decoder looks: here, a cancel
// made at one check must end the decode at the next check of each band. How long that is on a
// given machine is measured in the decoding benchmark.
TEST_F(HostileJpeg, ADecodeStopsAtTheCheckAfterACancelWhateverTheFile) {
    JpegReader::Options endless;
    endless.maxScans = INT_MAX;
    // Claims exactly the pixel cap, which is still decoded.
    const QByteArray cmyk =
        test::withFrameSize(writeJpeg(detailed({16, 16}), JpegSpace::Cmyk), {16384, 16384});
    const QByteArray photo = writeJpeg(detailed({1200, 1100}), JpegSpace::YCbCr);
    const struct {
        const char* name;
        QByteArray bytes;
        JpegReader::Options options;
        int eighths;
    } cases[] = {
        // Neither bomb reads a second buffer: only libjpeg's own checks can see a cancel.
        {"scan bomb", test::scanBomb({8000, 8000}, 5000), endless, 1},
        {"CMYK bomb, whole", cmyk, {}, 8},
        {"CMYK bomb, reduced", cmyk, {}, 4},
        {"photo in two bands", photo, {}, 8},
        {"photo in two bands at 5/8", photo, {}, 5},
        {"photo in two bands, resumed at a marker",
         writeJpeg(detailed({1200, 1100}), JpegSpace::YCbCr, false, 1),
         {},
         8},
    };
    for (const auto& c : cases) {
        for (const int cancelAt : {3, 40}) {
            SCOPED_TRACE(std::string(c.name) + ", cancelled at check " + std::to_string(cancelAt));
            const auto file = put("bomb.jpg", c.bytes);
            std::atomic<bool> cancelled{false};
            std::atomic<int> checks{0}, checksAfterCancel{0};
            JpegReader::Options options = c.options;
            options.stopRequested = [&] {
                if (cancelled.load())
                    ++checksAfterCancel;
                else if (++checks == cancelAt)
                    cancelled = true;
                return cancelled.load();
            };
            QImage image;
            EXPECT_EQ(JpegReader(*file, options).read(c.eighths, image), Outcome::Cancelled);
            EXPECT_TRUE(image.isNull());
            EXPECT_LE(checksAfterCancel.load(), 2); // one more look in each band at most
        }
    }
}

TEST_F(HostileJpeg, AReadErrorInsideAPictureIsADeviceErrorWhateverTheReaderMadeOfIt) {
    const QImage picture = detailed({200, 150});
    const struct {
        const char* name;
        QByteArray bytes;
    } cases[] = {
        {"bitmap.bmp", test::encodedPicture(picture, "BMP")},
        {"photo.jpg", writeJpeg(picture, JpegSpace::YCbCr)},
        {"progressive.jpg", writeJpeg(picture, JpegSpace::YCbCr, true)},
        {"print.jpg", writeJpeg(picture, JpegSpace::Cmyk)},
    };
    StandardPictureDecoder decoder;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        // A failing disk: reads stop short of the middle, and one from there on fails.
        const std::int64_t middle = c.bytes.size() / 2;
        const auto file =
            put(c.name, c.bytes, 0,
                [middle](int fd, std::int64_t at, char* data, std::int64_t length) -> std::int64_t {
                    if (at < middle)
                        return platform::PictureFile::preadAt(fd, at, data,
                                                              std::min(length, middle - at));
                    errno = EIO;
                    return -1;
                });
        EXPECT_EQ(decoder.decode(DecodeRequest{file, {}}, notCancelled).error, LoadError::DeviceIO);
    }
}

} // namespace
} // namespace orlix
