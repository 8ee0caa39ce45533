#pragma once

#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <vector>

namespace orlix {

// Unmaps memory on a thread of its own, when no other thread wants a core. Giving back the
// pages of a decoded photo shared by a decoder process takes tens of milliseconds; neither the
// windows nor the decoding thread (whose next job a slide step may be waiting for) should.
class BackgroundUnmapper {
public:
    // The program's one unmapper; its thread starts with the first mapping handed to it.
    static BackgroundUnmapper& instance();

    // Unmaps `length` bytes at `address` soon.
    void unmap(void* address, std::size_t length);

private:
    struct Mapping {
        void* address;
        std::size_t length;
    };

    BackgroundUnmapper() = default;
    void run();

    std::mutex mutex_;
    std::condition_variable wake_;
    std::vector<Mapping> pending_;
    bool started_ = false;
};

} // namespace orlix
