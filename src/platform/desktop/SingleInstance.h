#pragma once

#include <QByteArray>
#include <QByteArrayList>

namespace orlix::platform {

// The single-instance rule: one copy of Orlix per user and machine. Holding the lock marks this
// copy as the running one. The lock is an advisory file lock, which the kernel drops when the
// process ends, however it ends, so a copy that crashed or was killed never keeps the next one
// from starting.
//
// The lock file lives only in folders that no other local user can change: the user's home
// (its .cache folder) or, when no home can be used, the user's own runtime folder. Nothing
// another user creates anywhere can move the lock, take it, or block it. When no such place can
// be used the copy runs: the rule cannot be kept then, and only the user or root can have caused
// it.
class SingleInstance {
public:
    // The folders the lock may go in, best first.
    struct Places {
        // Home folders: the lock goes in their .cache folder. Each must be a folder owned by the
        // user that neither group nor others can write.
        QByteArrayList homes;
        // The user's runtime folder: the lock goes straight in. It must be owned by the user and
        // closed to everyone else (mode 0700).
        QByteArray runtime;
    };

    // The places of this process: $HOME, then the home of the user's account entry, then
    // /run/user/<uid>. Relative or empty home paths are left out.
    static Places defaultPlaces();

    // The lock file's name, the same in every place: it carries the host name, so that a home
    // folder shared between machines keeps one copy per machine rather than one in all.
    static QByteArray lockFileName();

    // Takes the lock for this user's Orlix in the first place that can be used. Call before any
    // window exists.
    SingleInstance();
    explicit SingleInstance(const Places& places);
    ~SingleInstance();
    SingleInstance(const SingleInstance&) = delete;
    SingleInstance& operator=(const SingleInstance&) = delete;

    // True when another copy of this user's Orlix holds the lock.
    bool anotherIsRunning() const { return anotherRunning_; }

    // The lock file this copy holds, or found held by another copy; empty when no place could
    // be used and the copy runs without the rule.
    const QByteArray& lockPath() const { return lockPath_; }

private:
    int fd_ = -1;
    bool anotherRunning_ = false;
    QByteArray lockPath_;
};

} // namespace orlix::platform
