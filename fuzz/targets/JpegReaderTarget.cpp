// The reducing JPEG reader on its own, at every scale, kept whole or shrunk to a frame as it is
// decoded, with the band split lowered so that small pictures take the two-band path (and
// jpeg_skip_scanlines), and cancelled at a check the input chooses.
// Input: the scale (three low bits: whole, 1/2, 1/4, 1/8, 5/8, 3/8, then whole and 1/2 again),
// the rows below which one band is used (byte + 1), the check at which to cancel (two bytes,
// little-endian; 0: never), flags (bit 0: the second band cannot start; bit 1: shrunk; bits
// 2-4: the frame's turn, a QImageIOHandler::Transformations; bits 5-7: the frame's size,
// shrunkTarget()), the scan limit (0: the program's), then the file.

#include "decode/codec/JpegReader.h"
#include "support/Check.h"
#include "support/FuzzInput.h"
#include "support/PictureBytes.h"

#include <QTransform>

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

using namespace orlix;

namespace {

enum Flag : std::uint8_t { kNoSecondBand = 1, kShrunk = 2 };

constexpr int kEighths[] = {8, 4, 2, 1, 5, 3, 8, 4};

// The frame a picture decoded at `decoded` is shrunk to for `code` (0-7): 1/8 to 7/8 of it each
// way, or a pixel more than it, which rounding a frame may ask for.
QSize shrunkTarget(QSize decoded, int code) {
    if (code == 7)
        return decoded + QSize(1, 1);
    return QSize(std::max(1, decoded.width() * (code + 1) / 8),
                 std::max(1, decoded.height() * (code + 1) / 8));
}

// `frame` turned as the shrinker turns it: mirrored or flipped, then a quarter turn clockwise.
QImage turned(const QImage& frame, AreaShrinker::Turn turn) {
    QImage image = frame.mirrored(turn & QImageIOHandler::TransformationMirror,
                                  turn & QImageIOHandler::TransformationFlip);
    if (turn & QImageIOHandler::TransformationRotate90)
        image = image.transformed(QTransform().rotate(90));
    return image.convertToFormat(QImage::Format_RGB888);
}

// Whether two frames differ by no more than one step in any channel: two bands sum the frame
// row they share in two parts, in another order than one band does.
bool nearlyEqual(const QImage& one, const QImage& other) {
    if (one.size() != other.size() || one.format() != other.format())
        return false;
    for (int y = 0; y < one.height(); ++y) {
        const uchar* a = one.constScanLine(y);
        const uchar* b = other.constScanLine(y);
        for (int i = 0; i < one.width() * 3; ++i) {
            if (std::abs(a[i] - b[i]) > 1)
                return false;
        }
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::FuzzInput input(data, size);
    const int eighths = kEighths[input.byte() & 7];
    JpegReader::Options options;
    options.rowsToSplit = input.byte() + 1u;
    const unsigned cancelAt = input.word();
    const std::uint8_t flags = input.byte();
    if (const std::uint8_t scans = input.byte())
        options.maxScans = scans;
    const QByteArray bytes = input.rest();
    std::atomic<bool> cancelled{false};
    std::atomic<unsigned> checks{0}; // both bands check
    options.stopRequested = [&] {
        if (cancelAt > 0 && checks.fetch_add(1) + 1 == cancelAt)
            cancelled = true;
        return cancelled.load();
    };
    if (flags & kNoSecondBand)
        options.startSecondBand = [] { return false; };
    const bool shrink = flags & kShrunk;
    JpegReader::Shrunk shrunk;
    shrunk.turn = AreaShrinker::Turn::fromInt((flags >> 2) & 7);

    const auto file = fuzz::openInMemory(bytes);
    JpegReader reader(*file, options);
    // As the program does: the header first, read once, and the sizes from it.
    const JpegReader::Outcome header = reader.readHeader();
    const QSize stored = reader.storedSize();
    if (header == JpegReader::Outcome::Decoded && fuzz::overFuzzBudget(stored))
        return -1;
    const QSize decoded = JpegReader::scaledSize(stored, eighths);
    shrunk.target = shrunkTarget(decoded, flags >> 5);
    QImage image;
    const JpegReader::Outcome outcome =
        shrink ? reader.read(eighths, shrunk, image) : reader.read(eighths, image);

    if (!cancelled)
        FUZZ_CHECK(outcome != JpegReader::Outcome::Cancelled);
    if (outcome != JpegReader::Outcome::Decoded) {
        // A frame is written where it lies, part of it perhaps: only a whole read keeps its
        // image to itself until it succeeds.
        FUZZ_CHECK(shrink || image.isNull());
        return 0;
    }
    if (shrink) {
        FUZZ_CHECK(image.format() == QImage::Format_RGB888);
        FUZZ_CHECK(image.size() == AreaShrinker::turnedSize(shrunk.target, shrunk.turn));
    } else {
        FUZZ_CHECK(image.format() == QImage::Format_RGB32);
        FUZZ_CHECK(image.size() == decoded);
    }
    if (cancelled || (!shrink && unsigned(decoded.height()) < options.rowsToSplit))
        return 0;
    // Two bands give the very pixels one band gives, and a frame shrunk turned is the one
    // shrunk upright, turned.
    JpegReader::Options oneBand;
    oneBand.rowsToSplit = ~0u;
    oneBand.maxScans = options.maxScans;
    QImage whole;
    JpegReader once(*file, oneBand);
    if (shrink) {
        JpegReader::Shrunk upright = shrunk;
        upright.turn = QImageIOHandler::TransformationNone;
        FUZZ_CHECK(once.read(eighths, upright, whole) == outcome);
        FUZZ_CHECK(nearlyEqual(turned(whole, shrunk.turn), image));
    } else {
        FUZZ_CHECK(once.read(eighths, whole) == outcome);
        FUZZ_CHECK(whole == image);
    }
    return 0;
}
