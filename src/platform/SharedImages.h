#pragma once

#include "platform/SharedPixels.h"
#include "platform/UniqueFd.h"

#include <QImage>
#include <QSize>

#include <map>

namespace orlix::platform {

// Decoder side: images whose pixels lie in shared memory from the start, so that a large
// picture is decoded straight into the memory the program will show it from, instead of being
// decoded into this process's memory and copied (each new page costs a fault, twice over for a
// copy). Used from one thread.
class SharedImages {
public:
    SharedImages() = default;
    ~SharedImages();
    SharedImages(const SharedImages&) = delete;
    SharedImages& operator=(const SharedImages&) = delete;

    // A writable image of `size` and `format` over new shared memory; null when there is none.
    QImage make(QSize size, QImage::Format format);

    // The memory under `image`, sealed as sharePixels() seals it, with `layout` describing it,
    // and `image` let go: when `image` came from make() and no other copy of it is left.
    // Invalid otherwise, with `image` untouched.
    UniqueFd give(QImage& image, PixelLayout& layout);

private:
    struct Mapping;
    static void unmap(void* mapping);

    // The memory of each image made and not yet given or let go, by its first pixel.
    std::map<const uchar*, UniqueFd> memories_;
};

} // namespace orlix::platform
