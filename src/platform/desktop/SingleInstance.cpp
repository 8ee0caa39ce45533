#include "platform/desktop/SingleInstance.h"

#include <cerrno>
#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace orlix::platform {

namespace {

// A folder others could change is no place for the lock: they could swap it, or the entries in
// it, for objects of their own. These bits must be clear on a home folder and its .cache ...
constexpr mode_t kWritableByOthers = S_IWGRP | S_IWOTH;
// ... and a runtime folder, like the lock file itself, must be closed to everyone else.
constexpr mode_t kOpenToOthers = S_IRWXG | S_IRWXO;
// The kernel's own limit on links met in one path lookup.
constexpr int kMaxLinks = 40;

// Closes the descriptor it owns.
struct Descriptor {
    explicit Descriptor(int value = -1) : fd(value) {}
    ~Descriptor() {
        if (fd >= 0)
            ::close(fd);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    void reset(int value) {
        if (fd >= 0)
            ::close(fd);
        fd = value;
    }
    int release() {
        const int value = fd;
        fd = -1;
        return value;
    }
    int fd;
};

// Files are created, and permissions checked, with the effective user id.
bool trustedOwner(uid_t owner) {
    return owner == 0 || owner == ::geteuid();
}

// A folder the walk may pass through: only root or the user can change what it holds. A folder
// others can write is accepted only with the sticky bit (as /tmp has it), which keeps them from
// removing or renaming entries that are not theirs.
bool trustedOnTheWay(int dir) {
    struct stat info {};
    return ::fstat(dir, &info) == 0 && S_ISDIR(info.st_mode) && trustedOwner(info.st_uid) &&
           ((info.st_mode & kWritableByOthers) == 0 || (info.st_mode & S_ISVTX) != 0);
}

// A folder of the user's own that `closed` permission bits keep others out of.
bool ownFolder(int dir, mode_t closed) {
    struct stat info {};
    return dir >= 0 && ::fstat(dir, &info) == 0 && S_ISDIR(info.st_mode) &&
           info.st_uid == ::geteuid() && (info.st_mode & closed) == 0;
}

// The lock file must be a plain file of the user's that no one else can open: flock needs no
// more than a descriptor open for reading, and anyone holding the lock would keep the user's
// copies from starting. Links are never followed to it, so nothing can point the lock at another
// file.
bool ownLockFile(const struct stat& info) {
    return S_ISREG(info.st_mode) && info.st_uid == ::geteuid() &&
           (info.st_mode & kOpenToOthers) == 0;
}

// The target of the link `name` in `dir`, when root or the user made that link; empty otherwise.
QByteArray trustedLinkTarget(int dir, const QByteArray& name) {
    struct stat info {};
    if (::fstatat(dir, name.constData(), &info, AT_SYMLINK_NOFOLLOW) != 0 ||
        !S_ISLNK(info.st_mode) || !trustedOwner(info.st_uid))
        return {};
    QByteArray target(static_cast<qsizetype>(info.st_size) + 1, '\0');
    const ssize_t size = ::readlinkat(dir, name.constData(), target.data(), target.size());
    if (size <= 0 || size >= target.size())
        return {}; // changed since the fstatat
    target.truncate(static_cast<qsizetype>(size));
    return target;
}

// Puts the components of `path` on the stack of those still to walk (the next one last).
void pushComponents(QByteArrayList& pending, const QByteArray& path) {
    const QByteArrayList parts = path.split('/');
    for (auto it = parts.crbegin(); it != parts.crend(); ++it)
        if (!it->isEmpty() && *it != ".")
            pending.append(*it);
}

// Opens the folder at `path` (from `start` when the path is relative) as an O_PATH descriptor,
// one component at a time. Every folder passed through must be trusted and every link followed
// must be made by root or the user, so that no other user can steer the walk somewhere else.
// O_PATH needs only search permission on the folders, as a path lookup does. -1 on failure.
int openFolder(int start, const QByteArray& path) {
    constexpr int kFlags = O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
    QByteArrayList pending;
    pushComponents(pending, path);
    Descriptor dir(path.startsWith('/') ? ::open("/", kFlags) : ::fcntl(start, F_DUPFD_CLOEXEC, 0));
    int links = 0;
    while (dir.fd >= 0 && !pending.isEmpty()) {
        if (!trustedOnTheWay(dir.fd))
            return -1;
        const QByteArray name = pending.takeLast();
        const int next = ::openat(dir.fd, name.constData(), kFlags);
        if (next >= 0) {
            dir.reset(next);
            continue;
        }
        if (errno != ENOTDIR && errno != ELOOP)
            return -1;
        const QByteArray target = trustedLinkTarget(dir.fd, name);
        if (target.isEmpty() || ++links > kMaxLinks)
            return -1;
        pushComponents(pending, target);
        if (target.startsWith('/'))
            dir.reset(::open("/", kFlags));
    }
    return dir.release();
}

// The .cache folder of `home`, made (mode 0700) when missing; -1 when the home or its .cache is
// not the user's own. A .cache that is a link to another folder of the user's is followed.
int homeCacheFolder(const QByteArray& home) {
    if (!home.startsWith('/'))
        return -1;
    const Descriptor dir(openFolder(AT_FDCWD, home));
    if (!ownFolder(dir.fd, kWritableByOthers))
        return -1;
    struct stat info {};
    if (::fstatat(dir.fd, ".cache", &info, AT_SYMLINK_NOFOLLOW) != 0 && errno == ENOENT)
        ::mkdirat(dir.fd, ".cache", 0700); // another copy may make it first: checked below
    Descriptor cache(openFolder(dir.fd, ".cache"));
    return ownFolder(cache.fd, kWritableByOthers) ? cache.release() : -1;
}

int runtimeFolder(const QByteArray& runtime) {
    if (!runtime.startsWith('/'))
        return -1;
    Descriptor dir(openFolder(AT_FDCWD, runtime));
    return ownFolder(dir.fd, kOpenToOthers) ? dir.release() : -1;
}

enum class Outcome { Taken, HeldByAnother, Unusable };

// Takes the lock on `name` in `folder`, making the file (mode 0600) when missing. The file is
// never written, truncated or changed: only its lock matters. Anything but the user's own
// private plain file at that path (a link, a FIFO, a folder, a device, a file others can open;
// only the user or root can put one there) makes the place unusable and the next place is tried:
// every copy meets the same object, so every copy moves on to the same next place. The
// descriptor of a taken lock is left in `fd`.
Outcome lockIn(int folder, const QByteArray& name, int& fd) {
    struct stat info {};
    if (::fstatat(folder, name.constData(), &info, AT_SYMLINK_NOFOLLOW) == 0 ? !ownLockFile(info)
                                                                             : errno != ENOENT)
        return Outcome::Unusable; // checked before opening: opening a device can act on it
    // Read-write: over NFS the kernel carries flock as a byte-range lock, and an exclusive one
    // needs a descriptor open for writing.
    Descriptor file(::openat(folder, name.constData(),
                             O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC,
                             0600));
    if (file.fd < 0 || ::fstat(file.fd, &info) != 0 || !ownLockFile(info))
        return Outcome::Unusable;
    int rc = 0;
    do {
        rc = ::flock(file.fd, LOCK_EX | LOCK_NB);
    } while (rc != 0 && errno == EINTR);
    if (rc != 0)
        return errno == EWOULDBLOCK ? Outcome::HeldByAnother : Outcome::Unusable;
    fd = file.release();
    return Outcome::Taken;
}

QByteArray joined(QByteArray folder, const QByteArray& name) {
    while (folder.size() > 1 && folder.endsWith('/'))
        folder.chop(1);
    return folder.endsWith('/') ? folder + name : folder + '/' + name;
}

QByteArray accountHome() {
    long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(size > 0 ? static_cast<std::size_t>(size) : 16384);
    passwd entry{};
    passwd* found = nullptr;
    int rc = 0;
    while ((rc = ::getpwuid_r(::geteuid(), &entry, buffer.data(), buffer.size(), &found)) ==
               ERANGE &&
           buffer.size() < (1u << 20))
        buffer.resize(buffer.size() * 2);
    return rc == 0 && found && found->pw_dir ? QByteArray(found->pw_dir) : QByteArray();
}

} // namespace

SingleInstance::Places SingleInstance::defaultPlaces() {
    Places places;
    const QByteArray home = qgetenv("HOME");
    if (home.startsWith('/'))
        places.homes.append(home);
    const QByteArray account = accountHome();
    if (account.startsWith('/') && account != home)
        places.homes.append(account);
    places.runtime = "/run/user/" + QByteArray::number(::geteuid());
    return places;
}

QByteArray SingleInstance::lockFileName() {
    char host[256] = {};
    if (::gethostname(host, sizeof host - 1) != 0)
        host[0] = '\0';
    QByteArray name(host);
    // A host name is not bound to file-name characters: keep it to a safe set, in ASCII terms
    // (no locale is set this early, and the name must not depend on one).
    for (char& c : name)
        if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
              c == '-' || c == '.' || c == '_'))
            c = '_';
    return "orlix-" + (name.isEmpty() ? QByteArray("localhost") : name) + ".lock";
}

SingleInstance::SingleInstance() : SingleInstance(defaultPlaces()) {}

SingleInstance::SingleInstance(const Places& places) {
    const QByteArray name = lockFileName();
    const auto tryPlace = [this, &name](int folder, const QByteArray& folderPath) {
        const Descriptor dir(folder);
        if (dir.fd < 0)
            return false;
        const Outcome outcome = lockIn(dir.fd, name, fd_);
        if (outcome == Outcome::Unusable)
            return false;
        anotherRunning_ = outcome == Outcome::HeldByAnother;
        lockPath_ = joined(folderPath, name);
        return true;
    };
    for (const QByteArray& home : places.homes)
        if (tryPlace(homeCacheFolder(home), joined(home, ".cache")))
            return;
    tryPlace(runtimeFolder(places.runtime), places.runtime);
    // No place could be used: run without the rule.
}

SingleInstance::~SingleInstance() {
    if (fd_ >= 0)
        ::close(fd_); // closing drops the lock
}

} // namespace orlix::platform
