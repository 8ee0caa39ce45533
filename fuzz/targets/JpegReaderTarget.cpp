// The reducing JPEG reader on its own, at every scale, with the band split lowered so that
// small pictures take the two-band path (and jpeg_skip_scanlines), and cancelled at a check
// the input chooses.
// Input: the scale (three low bits: whole, 1/2, 1/4, 1/8, 5/8, 3/8, then whole and 1/2 again),
// the rows below which one band is used (byte + 1), the check at which to cancel (two bytes,
// little-endian; 0: never), flags (bit 0: the second band cannot start), the scan limit (0:
// the program's), then the file.

#include "decode/codec/JpegReader.h"
#include "support/Check.h"
#include "support/FuzzInput.h"
#include "support/PictureBytes.h"

#include <atomic>
#include <cstddef>
#include <cstdint>

using namespace orlix;

namespace {

enum Flag : std::uint8_t { kNoSecondBand = 1 };

constexpr int kEighths[] = {8, 4, 2, 1, 5, 3, 8, 4};

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

    const auto file = fuzz::openInMemory(bytes);
    JpegReader reader(*file, options);
    // As the program does: the header first, read once, and the sizes from it.
    const JpegReader::Outcome header = reader.readHeader();
    const QSize stored = reader.storedSize();
    if (header == JpegReader::Outcome::Decoded && fuzz::overFuzzBudget(stored))
        return -1;
    QImage image;
    const JpegReader::Outcome outcome = reader.read(eighths, image);

    if (!cancelled)
        FUZZ_CHECK(outcome != JpegReader::Outcome::Cancelled);
    if (outcome != JpegReader::Outcome::Decoded) {
        FUZZ_CHECK(image.isNull());
        return 0;
    }
    FUZZ_CHECK(image.format() == QImage::Format_RGB32);
    FUZZ_CHECK(image.size() == JpegReader::scaledSize(stored, eighths));
    // Two bands give the very pixels one band gives.
    if (!cancelled && unsigned(image.height()) >= options.rowsToSplit) {
        JpegReader::Options oneBand;
        oneBand.rowsToSplit = ~0u;
        oneBand.maxScans = options.maxScans;
        QImage whole;
        FUZZ_CHECK(JpegReader(*file, oneBand).read(eighths, whole) == outcome);
        FUZZ_CHECK(whole == image);
    }
    return 0;
}
