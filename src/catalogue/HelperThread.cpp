#include "catalogue/HelperThread.h"

#include <system_error>
#include <utility>

namespace orlix {

HelperThread::~HelperThread() {
    if (thread_.joinable())
        thread_.join();
}

bool HelperThread::start(std::function<void()> task) {
    if (thread_.joinable())
        return false;
    failure_ = nullptr;
    try {
        thread_ = std::thread([this, task = std::move(task)] {
            try {
                task();
            } catch (...) {
                failure_ = std::current_exception(); // read only after the join
            }
        });
    } catch (const std::system_error&) {
        return false;
    }
    return true;
}

void HelperThread::join() {
    if (thread_.joinable())
        thread_.join();
    if (failure_)
        std::rethrow_exception(std::exchange(failure_, nullptr));
}

} // namespace orlix
