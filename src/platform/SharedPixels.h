#pragma once

#include "platform/UniqueFd.h"

#include <QByteArray>
#include <QImage>

#include <cstdint>
#include <fcntl.h>

namespace orlix::platform {

// How an image's pixels lie in memory: enough to rebuild the image around them.
struct PixelLayout {
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::int64_t bytesPerLine = 0;
    std::int32_t format = QImage::Format_Invalid;

    std::int64_t bytes() const { return bytesPerLine * height; }
    // Whether an image of this layout can stand over `available` bytes.
    bool fits(std::int64_t available) const;
};

// Pixels go from a decoder process to the program in shared memory that the decoder seals
// before it hands the memory over: from then on no one can write, grow or shrink it, so the
// program can show the pixels without copying them and without fearing that they change or
// vanish under it.

// Decoder side: copies the pixels of `image` into new sealed memory and describes them in
// `layout`. Invalid (and `layout` empty) when there is no memory for them.
UniqueFd sharePixels(const QImage& image, PixelLayout& layout);

// Program side: an image of `layout` over the pixels in `memory`, mapped read-only and unmapped
// (on a thread of its own, BackgroundUnmapper.h) when the last copy of the image goes. Its pages
// are read in here, so that whoever draws the image does not wait for them. A null image when
// `memory` is not sealed memory holding at least that many bytes.
QImage mapSharedPixels(UniqueFd memory, const PixelLayout& layout);

// What sealed shared memory carries: no one can write, grow or shrink it any more.
constexpr int kSharedSeals = F_SEAL_SHRINK | F_SEAL_GROW | F_SEAL_WRITE | F_SEAL_SEAL;

// Pixels a decoder process lends from memory it fills again for its next picture (PixelArena.h)
// carry these seals: the memory can neither shrink nor grow, but it can still be written.
// The program copies them out at once (LentPixels.h).
constexpr int kLentSeals = F_SEAL_SHRINK | F_SEAL_GROW | F_SEAL_SEAL;

// Other data too large for a message (a display's colour profile) travels the same way.
// `bytes` in new sealed memory; invalid when there is no memory for them.
UniqueFd shareBytes(const QByteArray& bytes);
// A copy of the first `size` bytes (more than none) of sealed memory from shareBytes(); null
// when `memory` is not sealed memory holding that many.
QByteArray sharedBytes(int memory, std::int64_t size);

} // namespace orlix::platform
