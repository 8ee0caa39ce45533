#pragma once

#include "decode/process/DecoderProtocol.h"
#include "platform/ipc/UniqueFd.h"

#include <QImage>

#include <sys/types.h>

namespace orlix {

// Program side of the hand-over of pixels from a decoder process.
// - Lent pixels are copied into this process's memory at once. The lender fills the same
//   memory again for each picture, so the mapping of it is kept from one picture to the next:
//   mapping and unmapping a photo's worth of pages each time cost about as much as the copy.
// - Given pixels are shown from the frozen memory they came in, without a copy.
// Used by one thread at a time.
class PixelReceiver {
public:
    PixelReceiver() = default;
    ~PixelReceiver();
    PixelReceiver(const PixelReceiver&) = delete;
    PixelReceiver& operator=(const PixelReceiver&) = delete;

    // A copy of the pixels of `layout` lent in `memory`, taken at once, before the lender is
    // asked for anything else; a null image when `memory` is not lent memory, no larger than
    // any lent (kLentBytesLimit), holding at least that many bytes. Only the pixels' pages are
    // mapped: however large the memory, the copy reads no more than it copies.
    QImage copyLent(int memory, const PixelLayout& layout);

    // The same pixels read where they lie, without a copy: good only until the lender is asked
    // for anything else, or this receiver lets go of them. The memory is sealed at its size, so
    // a lender can change the pixels under the image but never take its pages away.
    QImage borrowLent(int memory, const PixelLayout& layout);

    // An image of `layout` over the pixels given in `memory`, mapped read-only and unmapped (on
    // a thread of its own, BackgroundUnmapper) when the last copy of the image goes. Its pages
    // are read in here, so that whoever draws the image does not wait for them. A null image
    // when `memory` is not given memory holding exactly that many bytes.
    static QImage mapGiven(platform::UniqueFd memory, const PixelLayout& layout);

    // Lets go of the kept mapping of lent memory, for example when its lender has ended.
    void forget();

private:
    // Maps the first `size` bytes of `memory` unless they are mapped already; false when they
    // cannot be.
    bool map(int memory, dev_t device, ino_t inode, std::size_t size);
    // Maps the pixels of `layout` lent in `memory`; false when `memory` is not lent memory
    // holding them.
    bool mapLent(int memory, const PixelLayout& layout);

    const void* mapping_ = nullptr;
    std::size_t size_ = 0;
    dev_t device_ = 0;
    ino_t inode_ = 0;
};

} // namespace orlix
