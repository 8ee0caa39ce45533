#pragma once

#include "decode/process/DecoderProtocol.h"
#include "platform/ipc/UniqueFd.h"

#include <QImage>

#include <cstddef>

namespace orlix {

// Decoder side of lent pixels: shared memory that a decoder process keeps and fills again for
// each picture the program copies out at once (PixelReceiver). New memory costs a page fault
// per page, which for a photo's pixels takes longer than copying them twice; these pages stay
// in place. The memory is sealed against shrinking and growing, so the program's mapping can
// never lose a page, but not against writing: a decoder can change what it lends only until
// the program has copied it, which is no more than it could do by decoding the picture wrongly.
class PixelLender {
public:
    PixelLender() = default;
    ~PixelLender();
    PixelLender(const PixelLender&) = delete;
    PixelLender& operator=(const PixelLender&) = delete;

    // A writable image of `size` and `format` over the lender's memory (made larger when it is
    // too small), so that a picture is decoded where it is lent from instead of being copied
    // there. Valid until the lender is asked for anything else; null when there is no memory.
    QImage make(QSize size, QImage::Format format);

    // Lends the pixels of `image`: copies them into the lender's memory, replacing it with a
    // larger one when it is too small, unless `image` is the lender's own from make().
    // Describes them in `layout`. The descriptor to send along, still the lender's own; -1
    // (and `layout` empty) when there is no memory for them or they are more than is lent.
    int lend(const QImage& image, PixelLayout& layout);

    // Makes the memory hold at least `bytes`, its pages in place; false when there is none, or
    // when more is asked than is ever lent (kLentBytesLimit).
    bool reserve(std::size_t bytes);

private:
    platform::UniqueFd memory_;
    void* mapping_ = nullptr;
    std::size_t size_ = 0;
};

} // namespace orlix
