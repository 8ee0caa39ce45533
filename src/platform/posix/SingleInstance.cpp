#include "platform/SingleInstance.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace orlix::platform {

QByteArray SingleInstance::lockPath() {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    struct stat info {};
    if (runtime && *runtime && ::stat(runtime, &info) == 0 && S_ISDIR(info.st_mode) &&
        info.st_uid == ::getuid())
        return QByteArray(runtime) + "/orlix.lock";
    return QByteArray("/tmp/orlix-") + QByteArray::number(::getuid()) + ".lock";
}

SingleInstance::SingleInstance() {
    const QByteArray path = lockPath();
    // O_NOFOLLOW: in /tmp another user could plant a link to a file of ours.
    fd_ = ::open(path.constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd_ < 0)
        return; // no lock to be had: run rather than refuse to start
    struct stat info {};
    if (::fstat(fd_, &info) != 0 || info.st_uid != ::getuid()) {
        ::close(fd_);
        fd_ = -1;
        return;
    }
    int rc = 0;
    do {
        rc = ::flock(fd_, LOCK_EX | LOCK_NB);
    } while (rc != 0 && errno == EINTR);
    if (rc != 0) {
        anotherRunning_ = errno == EWOULDBLOCK;
        ::close(fd_);
        fd_ = -1;
    }
}

SingleInstance::~SingleInstance() {
    if (fd_ >= 0)
        ::close(fd_); // closing drops the lock
}

} // namespace orlix::platform
