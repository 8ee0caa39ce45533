#include "viewer/PictureLoader.h"

#include "platform/NativePath.h"

#include <QFile>
#include <QImageReader>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace orlix {

namespace {

// Closes the descriptor however the load ends.
class Descriptor {
public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};

PictureLoader::Result failure(LoadError error) {
    PictureLoader::Result result;
    result.error = error;
    return result;
}

} // namespace

bool PictureLoader::withinPixelLimit(const QSize& size) {
    if (size.width() < 0 || size.height() < 0)
        return false;
    return std::int64_t(size.width()) * size.height() <= kMaxPixels;
}

PictureLoader::Result PictureLoader::load(const QString& path) const {
    // Non-blocking, so that opening a FIFO does not wait for a writer; it is refused below.
    const QByteArray native = platform::toNative(path);
    Descriptor fd(::open(native.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
    if (fd.get() < 0)
        return failure(loadErrorFromErrno(errno));

    struct stat info {};
    if (::fstat(fd.get(), &info) != 0)
        return failure(loadErrorFromErrno(errno));
    if (!S_ISREG(info.st_mode))
        return failure(LoadError::PathInvalid);
    const int flags = ::fcntl(fd.get(), F_GETFL);
    if (flags >= 0)
        ::fcntl(fd.get(), F_SETFL, flags & ~O_NONBLOCK);

    QFile file;
    if (!file.open(fd.get(), QIODevice::ReadOnly, QFileDevice::DontCloseHandle))
        return failure(LoadError::DeviceIO);

    // Qt's default ceiling (128 MB) refuses ordinary 48-megapixel photos; the pixel limit
    // below is what keeps absurd headers out.
    QImageReader::setAllocationLimit(kAllocationLimitMb);
    QImageReader reader(&file);
    reader.setAutoTransform(true);

    const QSize claimed = reader.size();
    if (claimed.isValid() && !withinPixelLimit(claimed))
        return failure(LoadError::TooLarge);

    Result result;
    if (!reader.read(&result.image)) {
        result.image = QImage();
        result.error = file.error() == QFileDevice::ReadError ? LoadError::DeviceIO
                                                              : LoadError::InvalidPicture;
    }
    return result;
}

} // namespace orlix
