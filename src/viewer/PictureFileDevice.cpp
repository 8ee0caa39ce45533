#include "viewer/PictureFileDevice.h"

#include "platform/PictureFile.h"

namespace orlix {

PictureFileDevice::PictureFileDevice(const platform::PictureFile& file,
                                     const std::atomic<bool>& cancelled)
    : file_(file), cancelled_(cancelled) {
    // Unbuffered: every read reaches readData with pos() as the offset to read at.
    QIODevice::open(QIODevice::ReadOnly | QIODevice::Unbuffered);
}

qint64 PictureFileDevice::size() const {
    return file_.size();
}

qint64 PictureFileDevice::readData(char* data, qint64 maxSize) {
    if (cancelled_.load(std::memory_order_relaxed))
        return -1;
    const qint64 count = file_.readAt(pos(), data, maxSize);
    if (count < 0)
        readFailed_ = true;
    return count;
}

} // namespace orlix
