#include "decode/process/BackgroundUnmapper.h"

#include "platform/sandbox/CurrentThread.h"

#include <sys/mman.h>
#include <thread>

namespace orlix {

BackgroundUnmapper& BackgroundUnmapper::instance() {
    // Never destroyed: mappings may be let go of during static destruction, and the system
    // takes back whatever is still mapped when the program ends.
    static auto* unmapper = new BackgroundUnmapper;
    return *unmapper;
}

void BackgroundUnmapper::unmap(void* address, std::size_t length) {
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        pending_.push_back({address, length});
        if (!started_) {
            started_ = true;
            std::thread([this] { run(); }).detach();
        }
    }
    wake_.notify_one();
}

void BackgroundUnmapper::run() {
    platform::nameCurrentThread("OrlixUnmap");
    platform::idleCurrentThread();
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] { return !pending_.empty(); });
        std::vector<Mapping> batch;
        batch.swap(pending_);
        lock.unlock();
        for (const Mapping& mapping : batch)
            ::munmap(mapping.address, mapping.length);
        lock.lock();
    }
}

} // namespace orlix
