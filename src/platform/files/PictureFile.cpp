#include "platform/files/PictureFile.h"

#include "platform/files/NativePath.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <fcntl.h>
#include <limits>
#include <sys/stat.h>
#include <unistd.h>

namespace orlix::platform {

namespace {

FileError fromErrno(int error) {
    switch (error) {
    case ENOENT:
        return FileError::NotFound;
    case EACCES:
    case EPERM:
        return FileError::AccessDenied;
    case EISDIR:
    case ENOTDIR:
    case ENAMETOOLONG:
    case ELOOP:
    case ENXIO:
    case ENODEV:
        return FileError::NotAFile;
    case ENOMEM:
    case EFBIG:
    case EOVERFLOW:
        return FileError::TooLarge;
    default:
        return FileError::ReadFailed;
    }
}

FileIdentity identityOf(const struct stat& info) {
    const auto ns = [](const timespec& time) {
        return static_cast<std::int64_t>(time.tv_sec) * 1000000000 + time.tv_nsec;
    };
    FileIdentity identity;
    identity.device = static_cast<std::uint64_t>(info.st_dev);
    identity.inode = static_cast<std::uint64_t>(info.st_ino);
    identity.size = static_cast<std::int64_t>(info.st_size);
    identity.modifiedNs = ns(info.st_mtim);
    identity.changedNs = ns(info.st_ctim);
    return identity;
}

} // namespace

struct PictureFile::ReadState {
    std::atomic<int> lastError{0};
};

PictureFile::PictureFile(int descriptor, ReadAt read)
    : descriptor_(descriptor), read_(std::move(read)), readState_(std::make_unique<ReadState>()) {}

PictureFile::~PictureFile() {
    ::close(descriptor_);
}

std::int64_t PictureFile::preadAt(int descriptor, std::int64_t offset, char* data,
                                  std::int64_t length) {
    return ::pread(descriptor, data, static_cast<size_t>(length), static_cast<off_t>(offset));
}

std::shared_ptr<PictureFile> PictureFile::open(const QString& path, FileError& error, ReadAt read) {
    // Non-blocking, so that opening a FIFO does not wait for a writer; it is refused below.
    const QByteArray native = toNative(path);
    const int fd = ::open(native.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        error = fromErrno(errno);
        return nullptr;
    }
    std::shared_ptr<PictureFile> file(new PictureFile(fd, std::move(read)));
    struct stat info {};
    if (::fstat(fd, &info) != 0) {
        error = fromErrno(errno);
        return nullptr;
    }
    if (!S_ISREG(info.st_mode)) {
        error = FileError::NotAFile;
        return nullptr;
    }
    file->identity_ = identityOf(info);
    file->path_ = path;
    error = FileError::None;
    return file;
}

std::shared_ptr<PictureFile> PictureFile::adopt(int descriptor, const FileIdentity& identity) {
    std::shared_ptr<PictureFile> file(new PictureFile(descriptor, preadAt));
    file->identity_ = identity;
    return file;
}

FileIdentity PictureFile::currentIdentity() const {
    struct stat info {};
    if (::fstat(descriptor_, &info) != 0)
        return FileIdentity();
    return identityOf(info);
}

std::int64_t PictureFile::readAt(std::int64_t offset, char* data, std::int64_t length) const {
    for (;;) {
        const std::int64_t count = read_(descriptor_, offset, data, length);
        if (count >= 0)
            return count;
        if (errno == EINTR)
            continue;
        readState_->lastError.store(errno, std::memory_order_relaxed);
        return -1;
    }
}

FileError PictureFile::error() const {
    const int error = readState_->lastError.load(std::memory_order_relaxed);
    return error == 0 ? FileError::None : fromErrno(error);
}

} // namespace orlix::platform
