#pragma once

#include "platform/ipc/UniqueFd.h"

#include <atomic>
#include <memory>

namespace orlix::platform {

// A flag that one process sets and another reads, in a page of shared memory: how the program
// tells a decoder process to stop a decode without ending the process (a new one would have
// to fault in all its memory again). The memory is sealed against shrinking, so the program's
// writes never fault whatever the other side does, and against new writable mappings, so only
// the process that made it can set it.
class SharedFlag {
public:
    static_assert(std::atomic<bool>::is_always_lock_free,
                  "a flag shared between processes needs lock-free atomics");

    // A new flag, cleared, that this process sets; null when there is no memory for it.
    static std::unique_ptr<SharedFlag> create();
    // The flag in `memory` (from descriptor() of another process's flag), read-only here;
    // null when `memory` is not such a flag.
    static std::unique_ptr<SharedFlag> open(UniqueFd memory);

    ~SharedFlag();
    SharedFlag(const SharedFlag&) = delete;
    SharedFlag& operator=(const SharedFlag&) = delete;

    // Only on a flag made by create().
    void set(bool value) { writable_->store(value); }
    const std::atomic<bool>& flag() const { return *flag_; }
    // The memory, to send to the process that reads the flag.
    int descriptor() const { return memory_.get(); }

private:
    SharedFlag(UniqueFd memory, void* mapping, bool writable);

    UniqueFd memory_;
    void* const mapping_;
    std::atomic<bool>* const writable_;
    const std::atomic<bool>* const flag_;
};

} // namespace orlix::platform
