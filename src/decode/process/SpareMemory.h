#pragma once

#include "platform/ipc/UniqueFd.h"

#include <atomic>
#include <cstddef>
#include <optional>
#include <thread>

namespace orlix {

// Decoder side: shared memory for the next large picture, its pages faulted in ahead of time
// while the decoder waits for a request. A new page costs a fault, and on virtual machines a
// photo's worth of them takes longer than decoding its upper half; faulted in ahead, at the
// lowest priority, they cost the picture nothing. The faulting runs on a thread of its own and
// stops at once when the memory is wanted. Used from one thread.
class SpareMemory {
public:
    // Writable shared memory of `length` bytes, mapped at `address`.
    struct Block {
        platform::UniqueFd memory;
        void* address = nullptr;
        std::size_t length = 0;
    };

    // How the faulting thread competes for a core: in the decoder, only when nothing else wants
    // one; a test that must see it finish on a busy machine, as any other thread.
    enum class Priority { Idle, Normal };

    explicit SpareMemory(Priority priority = Priority::Idle) : priority_(priority) {}
    ~SpareMemory();
    SpareMemory(const SpareMemory&) = delete;
    SpareMemory& operator=(const SpareMemory&) = delete;

    // Starts faulting in memory of `bytes`, unless the spare already has that size.
    void prepare(std::size_t bytes);

    // Stops faulting in and waits until it has stopped (within one chunk of pages).
    void stop();

    // The spare when it holds at least `bytes` and at most kMostOver times as many, stopped,
    // cut down to `bytes` (rounded up to whole pages) and let go; otherwise nothing, and the
    // spare is freed so that its memory is there for the picture.
    std::optional<Block> take(std::size_t bytes);

    // Giving back a spare's surplus (unmapping and truncating it) costs about a third of what
    // faulting in new shared memory costs per byte (0.36 against 1.1 to 1.3 ms a megabyte,
    // measured on the machine the benchmarks run on), so a spare pays until it is about four
    // times the picture.
    static constexpr std::size_t kMostOver = 4;

private:
    void free();
    // Cuts the spare down to `length` bytes, a whole number of pages.
    void cutTo(std::size_t length);
    void faultIn(char* bytes, std::size_t length);

    const Priority priority_;
    std::optional<Block> spare_;
    std::thread faulting_;
    std::atomic<bool> stopping_{false};
};

} // namespace orlix
