#pragma once

#include "decode/process/DecoderProtocol.h"
#include "decode/process/SpareMemory.h"
#include "platform/ipc/UniqueFd.h"

#include <QImage>
#include <QSize>

#include <map>

namespace orlix {

// Decoder side of given pixels: images whose pixels lie in shared memory from the start, so
// that a large picture is decoded straight into the memory the program will show it from,
// instead of being decoded into this process's memory and copied (each new page costs a
// fault, twice over for a copy). Used from one thread.
class PixelGiver {
public:
    PixelGiver() = default;
    ~PixelGiver();
    PixelGiver(const PixelGiver&) = delete;
    PixelGiver& operator=(const PixelGiver&) = delete;

    // What a picture is decoded for: a view that fits it to the screen (a step the user waits
    // for), or its whole resolution (for real size, decoded while the show rests).
    enum class Use { Fitted, Whole };

    // A writable image of `size` and `format` over new shared memory; null when there is none.
    QImage make(QSize size, QImage::Format format, Use use);

    // The memory under `image`, frozen, with `layout` describing it, and `image` let go: when
    // `image` came from make() and no other copy of it is left. Invalid otherwise, with
    // `image` untouched.
    platform::UniqueFd give(QImage& image, PixelLayout& layout);

    // The pixels of an image made elsewhere (turned upright, or not a JPEG), copied into new
    // frozen memory and described in `layout`. Invalid (and `layout` empty) when there is no
    // memory for them.
    static platform::UniqueFd giveCopy(const QImage& image, PixelLayout& layout);

    // While the decoder waits for a request: faults in memory for a picture of spareLength(),
    // unless it is larger than kLargestSpare.
    void prepareSpare();
    // The size expected for the first fitted picture, until one has been made; then 0. Only the
    // first has memory faulted in ahead: it is what the user waits for at Start, before anything
    // else is held. A spare for each later picture would be held while the show rests, beside
    // the frames on screen, behind and ahead: a fourth frame's memory on every slide, where
    // faulting the pages in as the decoder writes them costs a few milliseconds of a picture
    // decoded ahead. Whole pictures are decoded only when the user asks for one.
    std::size_t spareLength() const { return fittedMade_ ? 0 : expected_; }
    // The size of spare to hold for the first picture: a guess from the screen, since a fresh
    // process would otherwise fault in its first picture's memory as it decodes.
    void expectFirst(std::size_t bytes) { expected_ = bytes; }
    // When a request came: stops faulting in, so that the decode has both cores.
    void stopPreparing() { spare_.stop(); }

    // Enough for a photo of 32 megapixels; memory for larger ones is not held in advance.
    static constexpr std::size_t kLargestSpare = std::size_t(128) << 20;

private:
    struct Mapping;
    static void unmap(void* mapping);

    // The memory of each image made and not yet given or let go, by its first pixel.
    std::map<const uchar*, platform::UniqueFd> memories_;
    bool fittedMade_ = false;
    std::size_t expected_ = 0;
    SpareMemory spare_;
};

} // namespace orlix
