// The reducing JPEG reader. Two bands against one: whether the lower band's decoder starts
// after a restart marker or passes over the rows above, a picture decoded in two bands has the
// very pixels one band gives it, at every scale; a file whose markers cannot be trusted is passed
// over, and a file changed between the two readings of its header fails as the reader reports
// it. And JPEG files made to hurt: claiming more than they hold, with endless scans, in colour
// spaces the common path does not see, on a failing disk. Each must end soon, write nothing
// outside its picture and fail in the way the viewer reports.

#include "decode/codec/JpegReader.h"
#include "decode/codec/JpegBand.h"
#include "decode/codec/JpegBandPlan.h"
#include "decode/codec/JpegRestartPoint.h"
#include "decode/codec/PictureDecoder.h"

#include "PictureFileTest.h"
#include "support/JpegWriter.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <climits>
#include <thread>
#include <vector>

namespace orlix {
namespace {

using test::detailed;
using test::JpegSpace;
using test::writeJpeg;
using Outcome = JpegReader::Outcome;

JpegReader::Options split(unsigned rowsToSplit) {
    JpegReader::Options options;
    options.rowsToSplit = rowsToSplit;
    options.startSecondBand = [] { return true; }; // on one CPU too
    return options;
}

// The offsets of the restart markers in `jpeg`'s data, in order.
std::vector<int> restartMarkers(const QByteArray& jpeg) {
    std::vector<int> offsets;
    const auto byte = [&](int i) { return static_cast<unsigned char>(jpeg.at(i)); };
    for (int i = jpeg.indexOf("\xFF\xDA"); i >= 0 && i + 1 < jpeg.size(); ++i) {
        if (byte(i) == 0xFF && byte(i + 1) >= 0xD0 && byte(i + 1) <= 0xD7)
            offsets.push_back(i);
    }
    return offsets;
}

// Where the entropy-coded data of `jpeg`'s first scan starts.
std::int64_t dataStart(const QByteArray& jpeg) {
    const int scan = jpeg.indexOf("\xFF\xDA");
    return scan + 2 +
           (static_cast<unsigned char>(jpeg.at(scan + 2)) << 8 |
            static_cast<unsigned char>(jpeg.at(scan + 3)));
}

QByteArray withMarkerNumber(QByteArray jpeg, int marker, int number) {
    jpeg[restartMarkers(jpeg).at(std::size_t(marker)) + 1] = static_cast<char>(0xD0 + number);
    return jpeg;
}

QByteArray withoutMarker(QByteArray jpeg, int marker) {
    return jpeg.remove(restartMarkers(jpeg).at(std::size_t(marker)), 2);
}

using JpegBands = test::PictureFileTest;

TEST_F(JpegBands, TheLowerBandResumesAtAMarkerOnlyWhereItGivesOneBandsPixels) {
    const QImage photo = detailed({240, 200}); // 4:2:0: 15 MCUs a row, 13 rows of 16
    const QByteArray everyRow = writeJpeg(photo, JpegSpace::YCbCr, false, 1);
    const QByteArray plain = writeJpeg(photo, JpegSpace::YCbCr);
    const int markers = int(restartMarkers(everyRow).size());
    const QByteArray withComment = // a comment after the start marker
        everyRow.left(2) + QByteArray::fromHex("fffe00046f6b") + everyRow.mid(2);
    ASSERT_EQ(markers, 12);
    const struct {
        const char* name;
        QByteArray bytes;
        bool resumes;              // the lower band starts at a marker rather than at the top
        QByteArray rewritten = {}; // what the file becomes before the lower band reads it
        Outcome outcome = Outcome::Decoded;
        bool rewrittenLate = false; // after the lower band's marker search, before its decoder
    } cases[] = {
        {"no markers", plain, false},
        {"a marker every row", everyRow, true},
        {"a marker every 2 rows", writeJpeg(photo, JpegSpace::YCbCr, false, 2), true},
        // Every ninth MCU: a row starts at every third marker only.
        {"a marker every 9 MCUs", writeJpeg(photo, JpegSpace::YCbCr, false, 0, 9), true},
        {"markers never at a row's start", writeJpeg(photo, JpegSpace::YCbCr, false, 0, 16), false},
        {"4:4:4 RGB", writeJpeg(photo, JpegSpace::Rgb, false, 1), true},
        {"grey", writeJpeg(photo, JpegSpace::Grey, false, 1), true},
        {"CMYK", writeJpeg(photo, JpegSpace::Cmyk, false, 1), true},
        {"YCCK", writeJpeg(photo, JpegSpace::Ycck, false, 1), true},
        {"a marker out of order above the split", withMarkerNumber(everyRow, 2, 5), false},
        {"a marker missing above the split", withoutMarker(everyRow, 1), false},
        // Below the split the decoder resyncs as one band's does: the numbers it sees moved
        // down alike.
        {"a marker out of order below the split", withMarkerNumber(everyRow, markers - 2, 1), true},
        {"a marker missing below the split", withoutMarker(everyRow, markers - 2), true},
        {"cut short below the split", everyRow.left(everyRow.size() * 7 / 8), true},
        {"cut short above the split", everyRow.left(everyRow.size() / 4), false},
        {"rewritten alike", everyRow, true,
         writeJpeg(photo.mirrored(), JpegSpace::YCbCr, false, 1)},
        {"rewritten without markers", everyRow, false, plain, Outcome::Invalid},
        {"rewritten shorter", everyRow, true,
         writeJpeg(detailed({240, 184}), JpegSpace::YCbCr, false, 1), Outcome::Invalid},
        {"rewritten with a longer header", everyRow, false, withComment, Outcome::Invalid},
        {"rewritten shorter, late", everyRow, true,
         writeJpeg(detailed({240, 184}), JpegSpace::YCbCr, false, 1), Outcome::Invalid, true},
        {"rewritten with a longer header, late", everyRow, true, withComment, Outcome::Invalid,
         true},
        // Without markers the lower band reads the file from its start again.
        {"no markers, rewritten alike", plain, false,
         writeJpeg(photo.mirrored(), JpegSpace::YCbCr)},
        {"no markers, rewritten shorter", plain, false,
         writeJpeg(detailed({240, 184}), JpegSpace::YCbCr), Outcome::Invalid},
        {"no markers, rewritten wider", plain, false,
         writeJpeg(detailed({272, 200}), JpegSpace::YCbCr), Outcome::Invalid},
        {"no markers, rewritten over the cap", plain, false,
         test::withFrameSize(plain, {20000, 20000}), Outcome::Invalid},
        {"no markers, rewritten CMYK", plain, false, writeJpeg(photo, JpegSpace::Cmyk),
         Outcome::Invalid},
        {"no markers, rewritten progressive", plain, false,
         writeJpeg(photo, JpegSpace::YCbCr, true), Outcome::Invalid},
    };
    for (const auto& c : cases) {
        for (const int eighths : {8, 5, 4, 2, 1}) {
            SCOPED_TRACE(testing::Message() << c.name << " at " << eighths << "/8");
            // The lower band's marker search walks the header a few bytes at a time; its
            // decoder then reads the header in one piece: up to where the upper band found the
            // data to start when it resumes after a marker, a whole buffer when it passes over.
            const std::thread::id testThread = std::this_thread::get_id();
            std::int64_t headerRead = -1;
            bool rewritten = false;
            const auto read = [&](int fd, std::int64_t at, char* data, std::int64_t length) {
                if (std::this_thread::get_id() != testThread) {
                    const bool decoderHeader = at == 0 && length > 4 && headerRead < 0;
                    if (decoderHeader)
                        headerRead = length;
                    if (!c.rewritten.isEmpty() && !rewritten &&
                        (decoderHeader || !c.rewrittenLate)) {
                        rewritten = true;
                        tree.write("bands.jpg", c.rewritten);
                    }
                }
                return platform::PictureFile::preadAt(fd, at, data, length);
            };
            const auto file = put("bands.jpg", c.bytes, 0, read);
            const auto decodeWhole = [&](QImage& image) {
                return JpegReader(*file, split(~0u)).read(eighths, image);
            };
            QImage whole;
            const Outcome wholeOutcome = decodeWhole(whole);

            QImage bands;
            EXPECT_EQ(JpegReader(*file, split(8)).read(eighths, bands), c.outcome);
            ASSERT_GE(headerRead, 0) << "one band only";
            EXPECT_EQ(headerRead == dataStart(c.bytes), c.resumes)
                << "the header read as " << headerRead << " bytes";
            if (c.rewritten.isEmpty()) {
                EXPECT_EQ(wholeOutcome, c.outcome);
                EXPECT_EQ(bands, whole);
            } else if (c.outcome == Outcome::Decoded) {
                // Its last row is the rewritten file's.
                QImage after;
                ASSERT_EQ(decodeWhole(after), Outcome::Decoded);
                const int last = after.height() - 1;
                EXPECT_EQ(bands.copy(0, last, bands.width(), 1),
                          after.copy(0, last, after.width(), 1));
            }
        }
    }
}

TEST(JpegBandPlan, BothBandsFinishAboutTogetherAndResumeOnlyAtAMarker) {
    for (const int eighths : {8, 5, 4, 2, 1}) {
        for (const unsigned rows : {2u, 3u, 17u, 250u, 2048u}) {
            for (const unsigned interval : {0u, 375u, 750u, 376u, 1125u}) {
                SCOPED_TRACE(testing::Message() << rows << " rows at " << eighths << "/8"
                                                << ", restart interval " << interval);
                JpegGeometry geometry;
                geometry.height = rows * 16;
                geometry.iMcuHeight = 16;
                geometry.mcusPerIMcuRow = 375; // 6000 pixels wide, 4:2:0
                geometry.restartInterval = interval;
                const JpegBandPlan plan = JpegBandPlan::choose(geometry, eighths);
                ASSERT_GT(plan.split, plan.resume);
                ASSERT_LT(plan.split, rows);
                if (plan.resume > 0) {
                    EXPECT_TRUE(JpegRestartPoint::startsRow(geometry, plan.resume));
                }
                // No worse than the other splits a plan could make, with rounding to a row.
                const double finish = plan.finish(rows, eighths);
                const JpegBandPlan halves{rows / 2, 0};
                EXPECT_LE(finish, halves.finish(rows, eighths));
                if (plan.resume == 0 && rows > 2) { // from the top: the bands end together
                    const double lower =
                        plan.split * JpegBandPlan::entropyShare(eighths) + (rows - plan.split);
                    EXPECT_LE(std::abs(lower - plan.split), 1.0);
                }
                if (interval == 375 && rows > 2) { // a marker every row: the bands split even
                    EXPECT_LE(finish, rows / 2.0 + 1);
                }
            }
        }
    }
}

using HostileJpeg = test::PictureFileTest;

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
                const auto file = put("read.jpg", bytes);
                ASSERT_EQ(JpegReader(*file, options).read(JpegReader::kWhole, image),
                          Outcome::Decoded);
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
