#include "decode/codec/PictureFileDevice.h"

#include "platform/files/PictureFile.h"

namespace orlix {

PictureFileDevice::PictureFileDevice(const platform::PictureFile& file,
                                     const std::atomic<bool>& cancelled)
    : file_(file), cancelled_(cancelled) {
    // Unbuffered: every read reaches readData with pos() as the offset to read at.
    QIODevice::open(QIODevice::ReadOnly | QIODevice::Unbuffered);
}

qint64 PictureFileDevice::size() const {
    const std::int64_t now = file_.currentIdentity().size;
    return now >= 0 ? now : file_.size();
}

qint64 PictureFileDevice::readData(char* data, qint64 maxSize) {
    if (cancelled_.load(std::memory_order_relaxed))
        return -1;
    // pread returns short counts only at the end of a regular file; read on to be sure.
    qint64 total = 0;
    while (total < maxSize) {
        const qint64 count = file_.readAt(pos() + total, data + total, maxSize - total);
        if (count < 0) {
            readFailed_ = true;
            return -1;
        }
        if (count == 0) {
            shortRead_ = true;
            break;
        }
        total += count;
    }
    return total;
}

} // namespace orlix
