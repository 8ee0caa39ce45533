// JPEG files made to hurt: rewritten while they are read, claiming more than they hold, with
// endless scans, in colour spaces the common path does not see, on a failing disk. Each must
// end soon, write nothing outside its picture and fail in the way the viewer reports.

#include "decode/JpegReader.h"
#include "decode/PictureDecoder.h"

#include "LibjpegWriter.h"
#include "support/TempTree.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <thread>

namespace orlix {
namespace {

using test::LibjpegWriter;
using Outcome = JpegReader::Outcome;
using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// Sanitizers slow our code (not libjpeg's) several times over, and AddressSanitizer marks a
// freed picture's memory byte by byte: 0.6 to 0.8 s for the 1 GiB of a 16384 x 16383 picture
// here. Either bound still shows a wait of seconds.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr int kSlowdown = 4;
constexpr milliseconds kFreeingAGibibyte{1000};
#else
constexpr int kSlowdown = 1;
constexpr milliseconds kFreeingAGibibyte{0};
#endif
constexpr auto kCancelledWithin = milliseconds(50) * kSlowdown + kFreeingAGibibyte;

QImage colourful(QSize size) {
    QImage image(size, QImage::Format_RGB32);
    for (int y = 0; y < size.height(); ++y)
        for (int x = 0; x < size.width(); ++x)
            image.setPixel(x, y, qRgb(x * 4 & 0xff, y * 5 & 0xff, (x * y) & 0xff));
    return image;
}

class HostileJpeg : public ::testing::Test {
protected:
    std::shared_ptr<platform::PictureFile> put(const char* name, const QByteArray& bytes) {
        tree.write(name, bytes);
        platform::FileError error = platform::FileError::None;
        return platform::PictureFile::open(QString::fromUtf8(tree.path(name)), error);
    }
    // The reader's outcome for `bytes` decoded whole.
    Outcome read(const QByteArray& bytes, JpegReader::Tuning tuning, QImage& image) {
        const auto file = put("read.jpg", bytes);
        return JpegReader(*file, notCancelled, std::move(tuning)).read(1, image);
    }
    test::TempTree tree;
    const std::atomic<bool> notCancelled{false};
};

JpegReader::Tuning split(unsigned rowsToSplit) {
    JpegReader::Tuning tuning;
    tuning.rowsToSplit = rowsToSplit;
    return tuning;
}

TEST_F(HostileJpeg, EveryColourSpaceLooksAsQtsReaderShowsItInOneBandOrTwo) {
    const QImage picture = colourful({61, 45});
    for (const J_COLOR_SPACE space : {JCS_GRAYSCALE, JCS_YCbCr, JCS_RGB, JCS_CMYK, JCS_YCCK}) {
        for (const bool progressive : {false, true}) {
            const QByteArray bytes = LibjpegWriter::write(picture, space, progressive);
            const QImage expected =
                QImage::fromData(bytes, "JPEG").convertToFormat(QImage::Format_RGB32);
            for (const unsigned rowsToSplit : {8u, 512u}) {
                SCOPED_TRACE(testing::Message() << "colour space " << space << ", progressive "
                                                << progressive << ", split at " << rowsToSplit);
                QImage image;
                ASSERT_EQ(read(bytes, split(rowsToSplit), image), Outcome::Decoded);
                EXPECT_EQ(image, expected);
            }
        }
    }
}

TEST_F(HostileJpeg, AFileRewrittenBetweenTheTwoReadingsOfItsHeaderFailsWithoutAStrayRow) {
    const QImage original = colourful({64, 64});
    const QByteArray bytes = LibjpegWriter::write(original, JCS_YCbCr);
    const struct {
        const char* name;
        QByteArray replacement;
        Outcome outcome;
    } cases[] = {
        {"wider", LibjpegWriter::write(colourful({96, 64}), JCS_YCbCr), Outcome::Invalid},
        {"shorter", LibjpegWriter::write(colourful({64, 40}), JCS_YCbCr), Outcome::Invalid},
        {"over the cap", LibjpegWriter::withFrameSize(bytes, {20000, 20000}), Outcome::Invalid},
        {"CMYK", LibjpegWriter::write(original, JCS_CMYK), Outcome::Invalid},
        {"progressive", LibjpegWriter::write(original, JCS_YCbCr, true), Outcome::Invalid},
        {"same shape", LibjpegWriter::write(original.mirrored(), JCS_YCbCr), Outcome::Decoded},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto file = put("rewritten.jpg", bytes);
        // The lower band's first check comes before its first read: the file changes there,
        // in place, after the upper band has read all of it.
        const std::thread::id testThread = std::this_thread::get_id();
        std::atomic<bool> rewritten{false};
        JpegReader::Tuning tuning = split(16);
        tuning.onCheck = [&] {
            if (std::this_thread::get_id() != testThread && !rewritten.exchange(true))
                tree.write("rewritten.jpg", c.replacement);
        };
        QImage image;
        EXPECT_EQ(JpegReader(*file, notCancelled, tuning).read(1, image), c.outcome);
        EXPECT_TRUE(rewritten);
    }
}

TEST_F(HostileJpeg, TheReaderHoldsToThePixelCapOnItsOwn) {
    const QByteArray small = LibjpegWriter::write(colourful({16, 16}), JCS_YCbCr);
    const struct {
        QSize claimed;
        Outcome outcome;
    } cases[] = {
        {{16384, 16384}, Outcome::Decoded}, // exactly the cap
        {{16384, 16385}, Outcome::TooLarge},
        {{20000, 20000}, Outcome::TooLarge},
        {{65500, 65500}, Outcome::TooLarge}, // the most a JPEG can claim
    };
    for (const auto& c : cases) {
        const auto file = put("claims.jpg", LibjpegWriter::withFrameSize(small, c.claimed));
        JpegReader reader(*file, notCancelled);
        EXPECT_EQ(reader.readHeader(), c.outcome) << c.claimed.width() << "x" << c.claimed.height();
    }
}

TEST_F(HostileJpeg, WithoutASecondThreadOneBandDoesEveryRow) {
    const QByteArray bytes = LibjpegWriter::write(colourful({80, 600}), JCS_YCbCr);
    int asked = 0;
    JpegReader::Tuning alone = split(16);
    alone.startSecondBand = [&] {
        ++asked;
        return false;
    };
    QImage oneBand, twoBands;
    ASSERT_EQ(read(bytes, alone, oneBand), Outcome::Decoded);
    ASSERT_EQ(read(bytes, split(16), twoBands), Outcome::Decoded);
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(oneBand, twoBands);
}

TEST_F(HostileJpeg, AScanBombFailsQuicklyAsADecodeFailure) {
    const QByteArray bomb = LibjpegWriter::scanBomb({8000, 8000}, 5000);
    ASSERT_LT(bomb.size(), 64 * 1024); // read in one buffer: only libjpeg's checks see it
    StandardPictureDecoder decoder;
    const auto start = Clock::now();
    const DecodeResult result =
        decoder.decode(DecodeRequest{put("bomb.jpg", bomb), {1000, 1000}}, notCancelled);
    const auto took = Clock::now() - start;
    EXPECT_EQ(result.error, LoadError::DecodeFailed);
    EXPECT_LT(took, milliseconds(5000) * kSlowdown); // 45 s without the limit
    std::printf("scan bomb failed after %lld ms\n",
                static_cast<long long>(std::chrono::duration_cast<milliseconds>(took).count()));
}

TEST_F(HostileJpeg, ADecodeIsCancelledWithinMomentsWhateverTheFile) {
    // Both take seconds uncancelled; neither reads a second buffer.
    JpegReader::Tuning endless;
    endless.maxScans = INT_MAX;
    const QByteArray cmyk = LibjpegWriter::withFrameSize(
        LibjpegWriter::write(colourful({16, 16}), JCS_CMYK), {16384, 16383});
    const struct {
        const char* name;
        QByteArray bytes;
        JpegReader::Tuning tuning;
        int reduction;
    } cases[] = {
        {"scan bomb", LibjpegWriter::scanBomb({8000, 8000}, 5000), endless, 8},
        {"CMYK bomb, whole", cmyk, {}, 1},
        {"CMYK bomb, reduced", cmyk, {}, 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto file = put("bomb.jpg", c.bytes);
        std::atomic<bool> cancelled{false};
        Outcome outcome = Outcome::Decoded;
        Clock::time_point ended;
        std::thread decoding([&] {
            QImage image;
            outcome = JpegReader(*file, cancelled, c.tuning).read(c.reduction, image);
            ended = Clock::now();
        });
        std::this_thread::sleep_for(milliseconds(100));
        const auto cancelledAt = Clock::now();
        cancelled = true;
        decoding.join();
        EXPECT_EQ(outcome, Outcome::Cancelled);
        EXPECT_LT(ended - cancelledAt, kCancelledWithin);
        std::printf("%s: ended %lld us after the cancel\n", c.name,
                    static_cast<long long>(
                        std::chrono::duration_cast<std::chrono::microseconds>(ended - cancelledAt)
                            .count()));
    }
}

TEST_F(HostileJpeg, AReadErrorInsideAPictureIsADeviceErrorWhateverTheReaderMadeOfIt) {
    const QImage picture = colourful({200, 150});
    const struct {
        const char* name;
        QByteArray bytes;
    } cases[] = {
        {"bitmap.bmp", test::encodedPicture(picture, "BMP")},
        {"photo.jpg", LibjpegWriter::write(picture, JCS_YCbCr)},
        {"progressive.jpg", LibjpegWriter::write(picture, JCS_YCbCr, true)},
        {"print.jpg", LibjpegWriter::write(picture, JCS_CMYK)},
    };
    StandardPictureDecoder decoder;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto file = put(c.name, c.bytes);
        file->failReadsFrom(c.bytes.size() / 2, EIO);
        EXPECT_EQ(decoder.decode(DecodeRequest{file, {}}, notCancelled).error, LoadError::DeviceIO);
    }
}

} // namespace
} // namespace orlix
