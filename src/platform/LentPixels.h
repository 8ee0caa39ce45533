#pragma once

#include "platform/SharedPixels.h"

#include <QImage>

#include <sys/types.h>

namespace orlix::platform {

// Program side of the pixels a decoder process lends (PixelArena.h): copies them into this
// process's own memory. The lender fills the same memory again for each picture, so the mapping
// of it is kept from one picture to the next: mapping and unmapping a photo's worth of pages
// each time cost about as much as the copy itself. Used by one thread at a time.
class LentPixels {
public:
    LentPixels() = default;
    ~LentPixels();
    LentPixels(const LentPixels&) = delete;
    LentPixels& operator=(const LentPixels&) = delete;

    // A copy of the pixels of `layout` lent in `memory`, taken at once, before the lender is
    // asked for anything else; a null image when `memory` is not lent memory holding at least
    // that many bytes.
    QImage copy(int memory, const PixelLayout& layout);

    // Lets go of the kept mapping, for example when its lender has ended.
    void forget();

private:
    // Maps `memory` unless it is the memory already mapped; false when it cannot be mapped.
    bool map(int memory, dev_t device, ino_t inode, std::size_t size);

    const void* mapping_ = nullptr;
    std::size_t size_ = 0;
    dev_t device_ = 0;
    ino_t inode_ = 0;
};

} // namespace orlix::platform
