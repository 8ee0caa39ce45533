// The decoding floor on its own: how far a JPEG is reduced, what a decode gives for each kind
// of picture, what is refused and how a decode is abandoned.

#include "decode/codec/PictureDecoder.h"
#include "decode/codec/JpegReader.h"

#include "GifWriter.h"
#include "PictureFileTest.h"
#include "support/JpegWriter.h"

#include <QBuffer>
#include <QImageReader>
#include <QPainter>
#include <QTest>
#include <gtest/gtest.h>

#include <cmath>
#include <thread>

namespace orlix {
namespace {

using test::detailed;
using test::encodedPicture;

TEST(JpegScale, TheSmallestThatStillCoversTheFrame) {
    const struct {
        QSize stored;
        bool quarterTurn;
        QSize needed;
        int eighths;
    } cases[] = {
        {{6000, 4000}, false, {1570, 1047}, 3}, // a 24 MP photo on a 1920 x 1080 screen
        {{6000, 4000}, false, {1500, 1000}, 2}, // exactly a quarter
        {{6000, 4000}, false, {1501, 1000}, 3},
        {{6000, 4000}, false, {2251, 1500}, 4},
        {{6000, 4000}, false, {750, 500}, 1},
        {{6000, 4000}, false, {3240, 2160}, 5}, // on a 3840 x 2160 screen
        {{6000, 4000}, false, {3751, 2500}, 8}, // more than 5/8: 6/8 and 7/8 do not pay
        {{6001, 4001}, false, {751, 501}, 1},   // the decoder rounds scaled sizes up
        {{6001, 4001}, false, {3751, 2501}, 5},
        {{4000, 6000}, true, {1500, 1000}, 2}, // stored on its side, shown upright
        {{4000, 6000}, false, {1500, 1000}, 3},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(JpegReader::scaleFor(c.stored, c.quarterTurn, c.needed), c.eighths)
            << c.stored.width() << "x" << c.stored.height() << " for " << c.needed.width() << "x"
            << c.needed.height();
    }
}

class Decoding : public test::PictureFileTest {
protected:
    DecodeResult decode(const char* name, const QByteArray& bytes, QSize fitInto) {
        return decoder.decode(DecodeRequest{put(name, bytes), fitInto}, notCancelled);
    }
    StandardPictureDecoder decoder;
};

TEST_F(Decoding, ReducesOnlyJpegsShownFittedAndAlwaysGivesTheWholeSize) {
    const QImage photo = detailed({1600, 1200});
    const QByteArray jpeg = encodedPicture(photo, "JPEG"), bmp = encodedPicture(photo, "BMP");
    const QByteArray grey =
        encodedPicture(photo.convertToFormat(QImage::Format_Grayscale8), "JPEG");
    const QByteArray sideways = test::quarterTurnedJpeg(photo);
    // clang-format off
    const struct {
        const char* name;
        QByteArray bytes;
        QSize fitInto;
        int eighths;
        QSize pixels; // the caption's size
        QSize image;
    } cases[] = {
        // name                 bytes        fit into      8ths caption      image
        {"fitted.jpg",          jpeg,        {400, 300},   2, {1600, 1200}, {400, 300}},
        {"larger-view.jpg",     jpeg,        {500, 375},   3, {1600, 1200}, {600, 450}},
        {"five-eighths.jpg",    jpeg,        {1000, 750},  5, {1600, 1200}, {1000, 750}},
        {"whole.jpg",           jpeg,        {},           8, {1600, 1200}, {1600, 1200}},
        {"fits.jpg",            jpeg,        {2000, 1500}, 8, {1600, 1200}, {1600, 1200}},
        {"bitmap.bmp",          bmp,         {400, 300},   8, {1600, 1200}, {1600, 1200}},
        {"progressive.jpg",     encodedPicture(photo, "JPEG", true), {400, 300}, 2, {1600, 1200}, {400, 300}},
        {"grey.jpg",            grey,        {400, 300},   2, {1600, 1200}, {400, 300}},
        {"print.jpg",           test::writeJpeg(photo, test::JpegSpace::Ycck), {400, 300}, 2, {1600, 1200}, {400, 300}},
        {"turned.jpg",          sideways,    {300, 400},   2, {1200, 1600}, {300, 400}},
        {"turned-wide.jpg",     sideways,    {600, 800},   4, {1200, 1600}, {600, 800}},
        {"cut-short.jpg",       jpeg.left(jpeg.size() * 2 / 3), {400, 300}, 2, {1600, 1200}, {400, 300}},
    };
    // clang-format on
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const DecodeResult result = decode(c.name, c.bytes, c.fitInto);
        ASSERT_TRUE(result.ok());
        EXPECT_EQ(result.eighths, c.eighths);
        EXPECT_EQ(result.pixelSize, c.pixels);
        EXPECT_EQ(result.image.size(), c.image);
    }
}

TEST_F(Decoding, OnlyTheThreeKindsAreDecodedWhateverQtCouldRead) {
    const QImage small = detailed({64, 48});
    const QByteArray bmp = encodedPicture(small, "BMP"), jpeg = encodedPicture(small, "JPEG");
    const struct {
        const char* name;
        QByteArray bytes;
        LoadError error;
    } cases[] = {
        {"png-content.jpg", encodedPicture(small, "PNG"), LoadError::InvalidPicture},
        {"ico-content.bmp", encodedPicture(small, "ICO"), LoadError::InvalidPicture},
        {"svg-content.gif",
         "<svg xmlns='http://www.w3.org/2000/svg' width='60000' height='60000'/>",
         LoadError::InvalidPicture},
        {"empty.jpg", QByteArray(), LoadError::InvalidPicture},
        {"huge-screen.gif", test::kHugeGifScreen, LoadError::TooLarge},
        // One row over the pixel cap; and the most a JPEG can claim, whose pixel count
        // overflows 32 bits.
        {"over-cap.jpg", test::withFrameSize(jpeg, {16384, 16385}), LoadError::TooLarge},
        {"huge.jpg", test::withFrameSize(jpeg, {65500, 65500}), LoadError::TooLarge},
        {"cut-short.bmp", bmp.left(bmp.size() - 200), LoadError::InvalidPicture},
        // Under 64 KiB, read in one buffer: only libjpeg's own checks see it. Without a limit
        // on scans, 45 s of work.
        {"scan-bomb.jpg", test::scanBomb({8000, 8000}, 5000), LoadError::DecodeFailed},
        {"whole.bmp", bmp, LoadError::None},
        {"gif.gif", demo::encodeGif(small), LoadError::None},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const DecodeResult result = decode(c.name, c.bytes, {400, 300});
        EXPECT_EQ(result.error, c.error);
        EXPECT_EQ(result.ok(), c.error == LoadError::None);
    }
}

TEST_F(Decoding, AReducedPictureLooksLikeTheWholeOneScaledDown) {
    // A photo-like gradient with fine detail, and blue one-pixel stripes that punish dropped
    // pixels: averaged they are mid-blue, dropped they stay dark or full.
    QImage detail(1600, 1200, QImage::Format_RGB32);
    for (int y = 0; y < 1200; ++y)
        for (int x = 0; x < 1600; ++x)
            detail.setPixel(x, y, qRgb((x * 7 + y) & 0xff, (y / 5) & 0xff, ((x ^ y) & 1) * 255));
    const QByteArray bytes = encodedPicture(detail, "JPEG");
    const DecodeResult reduced = decode("r.jpg", bytes, {400, 300});
    const QImage whole =
        decode("w.jpg", bytes, {})
            .image.scaled(400, 300, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    ASSERT_EQ(reduced.eighths, 2);
    ASSERT_EQ(reduced.image.size(), whole.size());
    double difference = 0;
    for (int y = 0; y < 300; ++y)
        for (int x = 0; x < 400; ++x) {
            const QRgb a = reduced.image.pixel(x, y), b = whole.pixel(x, y);
            difference += std::abs(qRed(a) - qRed(b)) + std::abs(qGreen(a) - qGreen(b)) +
                          std::abs(qBlue(a) - qBlue(b));
        }
    EXPECT_LT(difference / (400 * 300 * 3), 4.0); // mean difference per channel, of 255
}

// The mean difference per channel, of 255, between two images of one size.
double meanDifference(const QImage& a, const QImage& b) {
    const QImage left = a.convertToFormat(QImage::Format_RGB32);
    const QImage right = b.convertToFormat(QImage::Format_RGB32);
    double difference = 0;
    for (int y = 0; y < left.height(); ++y)
        for (int x = 0; x < left.width(); ++x) {
            const QRgb p = left.pixel(x, y), q = right.pixel(x, y);
            difference += std::abs(qRed(p) - qRed(q)) + std::abs(qGreen(p) - qGreen(q)) +
                          std::abs(qBlue(p) - qBlue(q));
        }
    return difference / (double(left.width()) * left.height() * 3);
}

// A picture larger than the view it is fitted into comes as its frame: the size the viewer
// places it at, 24-bit, upright, looking like the whole picture shrunk. One that fits comes
// whole, to be shown unscaled.
TEST_F(Decoding, APictureLargerThanItsViewComesAsTheFrameTheViewerPlaces) {
    const QImage photo = detailed({1600, 1200});
    const QByteArray jpeg = encodedPicture(photo, "JPEG");
    QImage clear = detailed({640, 480}).convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < clear.height(); ++y)
        for (int x = 0; x < clear.width(); ++x)
            clear.setPixel(x, y, (clear.pixel(x, y) & 0xffffff) | (uint((x + y) % 256) << 24));
    // A view of w x h device pixels at `ratio` device pixels a logical pixel.
    const auto view = [](int w, int h, double ratio) {
        return FitBox{int(std::lround(w / ratio * 15)), int(std::lround(h / ratio * 15)), ratio};
    };
    const struct {
        const char* name;
        QByteArray bytes;
        FitBox box;
        QSize frame; // empty: comes whole
    } cases[] = {
        {"fitted.jpg", jpeg, view(400, 300, 1), {400, 300}},
        {"letterboxed.jpg", jpeg, view(1000, 600, 1), {800, 600}},
        {"at-one-and-a-half.jpg", jpeg, view(960, 720, 1.5), {960, 720}},
        {"progressive.jpg", encodedPicture(photo, "JPEG", true), view(500, 500, 1), {500, 375}},
        {"turned.jpg", test::quarterTurnedJpeg(photo), view(900, 900, 1), {675, 900}},
        {"print.jpg", test::writeJpeg(photo, test::JpegSpace::Ycck), view(400, 300, 1), {400, 300}},
        {"bitmap.bmp", encodedPicture(photo, "BMP"), view(533, 400, 1), {533, 400}},
        {"see-through.bmp", encodedPicture(clear, "BMP"), view(320, 320, 1), {320, 240}},
        {"fits.jpg", jpeg, view(1600, 1200, 1), {}},
        {"fits.bmp", encodedPicture(photo, "BMP"), view(1920, 1200, 1), {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        DecodeRequest request{put(c.name, c.bytes), c.box.deviceBox()};
        request.frameBox = c.box;
        const DecodeResult result = decoder.decode(request, notCancelled);
        ASSERT_TRUE(result.ok());
        EXPECT_EQ(StandardPictureDecoder::frameFor(result.pixelSize, c.box), c.frame);
        EXPECT_EQ(result.framed, !c.frame.isEmpty());
        // What the viewer would show otherwise: the picture decoded for the view (a JPEG
        // reduced), laid over black and shrunk by Qt.
        const QImage decoded = decode(c.name, c.bytes, request.fitInto).image;
        if (c.frame.isEmpty()) {
            EXPECT_EQ(result.image, decoded);
            continue;
        }
        ASSERT_EQ(result.image.size(), c.frame);
        EXPECT_EQ(result.image.format(), QImage::Format_RGB888);
        QImage overBlack(decoded.size(), QImage::Format_RGB32);
        overBlack.fill(Qt::black);
        QPainter(&overBlack).drawImage(0, 0, decoded);
        EXPECT_LT(meanDifference(result.image, overBlack.scaled(c.frame, Qt::IgnoreAspectRatio,
                                                                Qt::SmoothTransformation)),
                  1.0);
    }
}

// Shrunk in two bands on two cores (someone waits) or in one: the very same frame, whether the
// lower band passes over the rows above it or resumes at a restart marker.
TEST_F(Decoding, AFrameIsTheSameDecodedInOneBandOrTwo) {
    if (!JpegReader::moreThanOneCpu())
        GTEST_SKIP() << "one CPU: never two bands";
    const QImage photo = detailed({1600, 1200});
    const FitBox box{1000 * 15, 750 * 15, 1.0};
    for (const QByteArray& jpeg :
         {encodedPicture(photo, "JPEG"), test::writeJpeg(photo, test::kCameraJpeg)}) {
        DecodeRequest request{put("photo.jpg", jpeg), box.deviceBox()};
        request.frameBox = box;
        const DecodeResult oneBand = decoder.decode(request, notCancelled);
        request.hurried = true;
        const DecodeResult twoBands = decoder.decode(request, notCancelled);
        ASSERT_TRUE(oneBand.framed && twoBands.framed);
        EXPECT_EQ(oneBand.eighths, 5);
        EXPECT_EQ(twoBands.image, oneBand.image);
    }
}

TEST_F(Decoding, TurnsPicturesAsQtsOwnReaderDoes) {
    const QByteArray bytes = test::quarterTurnedJpeg(test::detailed({64, 32}));
    const DecodeResult picture = decode("t.jpg", bytes, {});
    QBuffer buffer;
    buffer.setData(bytes);
    QImageReader qt(&buffer);
    qt.setAutoTransform(true);
    const QImage expected = qt.read().convertToFormat(QImage::Format_RGB32);
    EXPECT_EQ(expected.size(), QSize(32, 64)) << "Qt's reader did not turn it";
    EXPECT_EQ(picture.image, expected);
}

// Cut off and padded to 2 GiB with zeros (sparse), where reading the padding would take
// seconds. A baseline JPEG's last rows come from the first zeros and the rest is never read: it
// is decoded well before a cancel a second later. A progressive JPEG (and a GIF) is read to its
// end before its first row comes out: a cancel 30 ms in ends it at its next read.
TEST_F(Decoding, APaddedFileIsReadNoFurtherThanItsLastRowOrUntilCancelled) {
    const auto firstHalf = [](const QByteArray& bytes) { return bytes.left(bytes.size() / 2); };
    const QImage photo = detailed({1600, 1200});
    const struct {
        const char* name;
        QByteArray head;
        int cancelAfterMs;
        bool cancelled;
    } cases[] = {
        {"padded.jpg", firstHalf(encodedPicture(photo, "JPEG")), 1000, false},
        {"padded-progressive.jpg", firstHalf(encodedPicture(photo, "JPEG", true)), 30, true},
        {"padded.gif", QByteArray::fromHex("474946383961400030008000"), 30, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::atomic<bool> cancelled{false};
        DecodeResult picture;
        const auto padded = put(c.name, c.head, qint64(2) << 30);
        std::thread decoding([&] {
            picture = decoder.decode(DecodeRequest{padded, {400, 300}}, cancelled);
        });
        QTest::qWait(c.cancelAfterMs);
        cancelled = true;
        decoding.join();
        EXPECT_EQ(picture.cancelled, c.cancelled);
        EXPECT_EQ(picture.image.isNull(), c.cancelled);
        if (!c.cancelled) {
            EXPECT_EQ(picture.pixelSize, photo.size());
        }
    }
}

} // namespace
} // namespace orlix
