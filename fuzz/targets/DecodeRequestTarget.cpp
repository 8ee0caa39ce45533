// The whole decode request as the decoding thread makes it: a BMP, GIF or JPEG file, the box
// it is fitted into, whether someone waits for it and the frame box it is shown in, all chosen
// by the input.
// Input: fit box width and height (two bytes each, little-endian; 0 x 0 is "the whole
// picture"), flags (bit 0: hurried; bits 1-2: the screen's pixel ratio, kDevicePixelRatios),
// the frame box's width and height in logical pixels (two bytes each; 0 x 0: none), then the
// file.

#include "decode/codec/JpegReader.h"
#include "decode/codec/PictureDecoder.h"
#include "support/Check.h"
#include "support/FrameBoxInput.h"
#include "support/FuzzInput.h"
#include "support/PictureBytes.h"

#include <cstddef>
#include <cstdint>

using namespace orlix;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::FuzzInput input(data, size);
    const std::uint16_t fitWidth = input.word();
    const QSize fitInto(fitWidth, input.word());
    const std::uint8_t flags = input.byte();
    const bool hurried = flags & 1;
    const std::uint16_t frameWidth = input.word();
    const FitBox frameBox = fuzz::frameBoxInput(frameWidth, input.word(), flags >> 1);
    const QByteArray bytes = input.rest();
    const QSize claimed = fuzz::claimedSize(bytes);
    // Headers over the program's limit are decoded all the same, to see them refused early.
    if (fuzz::overFuzzBudget(claimed) && StandardPictureDecoder::withinPixelLimit(claimed))
        return -1; // not worth keeping in the corpus

    static StandardPictureDecoder decoder;
    const std::atomic<bool> cancelled{false};
    const DecodeResult result = decoder.decode(
        DecodeRequest{fuzz::openInMemory(bytes), fitInto, {}, false, hurried, frameBox}, cancelled);

    FUZZ_CHECK(!result.cancelled);
    if (claimed.isValid() && !StandardPictureDecoder::withinPixelLimit(claimed))
        FUZZ_CHECK(result.error == LoadError::TooLarge);
    if (!result.ok()) {
        FUZZ_CHECK(result.error != LoadError::None || result.image.isNull());
        return 0;
    }
    FUZZ_CHECK(StandardPictureDecoder::withinPixelLimit(result.pixelSize));
    // The scale is the one the reply check takes: whole, or the JPEG's for the fit box.
    FUZZ_CHECK(result.eighths == JpegReader::kWhole ||
               result.eighths == StandardPictureDecoder::jpegEighthsFor(result.pixelSize, fitInto));
    // The frame comes exactly when the frame box asks for one, 24-bit, at the frame's size.
    const QSize frame = StandardPictureDecoder::frameFor(result.pixelSize, frameBox);
    FUZZ_CHECK(result.framed == !frame.isEmpty());
    if (result.framed) {
        FUZZ_CHECK(result.image.format() == QImage::Format_RGB888 && result.image.size() == frame);
        return 0;
    }
    // The image is the whole picture scaled, and still covers what the fit box shows of it.
    FUZZ_CHECK(result.image.size() == JpegReader::scaledSize(result.pixelSize, result.eighths));
    const QSize needed = StandardPictureDecoder::neededFor(result.pixelSize, fitInto);
    FUZZ_CHECK(result.image.width() >= needed.width() && result.image.height() >= needed.height());
    return 0;
}
