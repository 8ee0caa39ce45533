#pragma once

#include <exception>
#include <functional>
#include <thread>

namespace orlix {

// A second thread for work that is split between two cores. start() runs a task on it while
// the caller's thread goes on; join() waits for it and throws again whatever it threw. The
// destructor waits as well, so that the task never outlives the data it works on. Only the
// caller's thread may touch widgets: a task works on plain data.
class HelperThread {
public:
    HelperThread() = default;
    ~HelperThread();
    HelperThread(const HelperThread&) = delete;
    HelperThread& operator=(const HelperThread&) = delete;

    // False when the system gives no thread (or one is running already); the caller then does
    // the task's share itself.
    bool start(std::function<void()> task);

    // Waits for the task, if one was started, and rethrows its exception.
    void join();

private:
    std::thread thread_;
    std::exception_ptr failure_;
};

} // namespace orlix
