// The whole decode request as the decoding thread makes it: a BMP, GIF or JPEG file and the
// box it is fitted into, both chosen by the input.
// Input: fit box width and height (two bytes each, little-endian; 0 x 0 is "the whole
// picture"), then the file.

#include "decode/codec/JpegReader.h"
#include "decode/codec/PictureDecoder.h"
#include "support/Check.h"
#include "support/FuzzInput.h"
#include "support/PictureBytes.h"

#include <cstddef>
#include <cstdint>

using namespace orlix;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::FuzzInput input(data, size);
    const std::uint16_t fitWidth = input.word();
    const QSize fitInto(fitWidth, input.word());
    const QByteArray bytes = input.rest();
    const QSize claimed = fuzz::claimedSize(bytes);
    // Headers over the program's limit are decoded all the same, to see them refused early.
    if (fuzz::overFuzzBudget(claimed) && StandardPictureDecoder::withinPixelLimit(claimed))
        return -1; // not worth keeping in the corpus

    static StandardPictureDecoder decoder;
    const std::atomic<bool> cancelled{false};
    const DecodeResult result =
        decoder.decode(DecodeRequest{fuzz::openInMemory(bytes), fitInto}, cancelled);

    FUZZ_CHECK(!result.cancelled);
    if (claimed.isValid() && !StandardPictureDecoder::withinPixelLimit(claimed))
        FUZZ_CHECK(result.error == LoadError::TooLarge);
    if (!result.ok()) {
        FUZZ_CHECK(result.error != LoadError::None || result.image.isNull());
        return 0;
    }
    FUZZ_CHECK(StandardPictureDecoder::withinPixelLimit(result.pixelSize));
    FUZZ_CHECK(JpegReader::decodesAt(result.eighths));
    // The image is the whole picture scaled, and still covers what the fit box shows of it.
    FUZZ_CHECK(result.image.size() == JpegReader::scaledSize(result.pixelSize, result.eighths));
    const QSize needed = StandardPictureDecoder::neededFor(result.pixelSize, fitInto);
    FUZZ_CHECK(result.image.width() >= needed.width() && result.image.height() >= needed.height());
    return 0;
}
