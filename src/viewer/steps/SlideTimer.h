#pragma once

#include <cstdint>

namespace orlix {

// The slide timer TimInterval as the steps left it: whether it runs, its interval, and its
// run. Every start, stop or restart begins a new run, and a tick held from a run that has
// ended is never delivered, as Qt's timer would not deliver it.
class SlideTimer {
public:
    // A full interval begins.
    void start(int intervalMs) {
        running_ = true;
        intervalMs_ = intervalMs;
        ++run_;
    }
    void stop() {
        running_ = false;
        ++run_;
    }
    // A new interval restarts the countdown of a running timer. False when it is unchanged.
    bool setInterval(int intervalMs) {
        if (intervalMs == intervalMs_)
            return false;
        intervalMs_ = intervalMs;
        if (running_)
            ++run_;
        return true;
    }

    bool running() const { return running_; }
    int intervalMs() const { return intervalMs_; }
    std::uint32_t run() const { return run_; }
    // Whether a tick that came during `tickRun` is still delivered.
    bool delivers(std::uint32_t tickRun) const { return running_ && tickRun == run_; }

private:
    bool running_ = false;
    int intervalMs_ = 0;
    std::uint32_t run_ = 0;
};

} // namespace orlix
