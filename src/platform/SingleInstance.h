#pragma once

#include <QByteArray>

namespace orlix::platform {

// The single-instance rule, per user. Holding the lock marks this copy as the running one.
// The lock is an advisory file lock, which the kernel drops when the process ends, however it
// ends, so a copy that crashed or was killed never keeps the next one from starting.
class SingleInstance {
public:
    // Takes the lock for this user's Orlix. Call before any window exists.
    SingleInstance();
    ~SingleInstance();
    SingleInstance(const SingleInstance&) = delete;
    SingleInstance& operator=(const SingleInstance&) = delete;

    // True when another copy of this user's Orlix holds the lock.
    bool anotherIsRunning() const { return anotherRunning_; }

    // Where the lock file lives: $XDG_RUNTIME_DIR, or /tmp with the user id in the name.
    static QByteArray lockPath();

private:
    int fd_ = -1;
    bool anotherRunning_ = false;
};

} // namespace orlix::platform
