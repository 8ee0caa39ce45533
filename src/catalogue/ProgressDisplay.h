#pragma once

#include "catalogue/ProgressWindow.h"

#include <cstdint>

namespace orlix {

// Puts the window's display to 0 % (text "0%", empty fill) and its shown value to 0.
// Does not repaint.
void ResetProgress(ProgressWindow& progressWindow);

// Puts the window's display to `value` out of its ProgressTotal and repaints it at once.
// Values past the total are cut to it; a value already on display changes nothing.
void ShowProgress(ProgressWindow& progressWindow, std::int32_t value);

// When the exchange-pass sort reports progress: after pass i when i exceeds
// step x total / 10, the step then moving on by one. At most ten reports a sort, plus the
// final one at the total. Both sorts report through it so that the window shows the same
// values. The window may be null: then nothing is shown.
class ProgressSchedule {
public:
    // Makes `total` the window's 100 %.
    ProgressSchedule(ProgressWindow* progressWindow, std::int32_t total)
        : window_(progressWindow), total_(total) {
        if (window_)
            window_->counters().ProgressTotal = total;
    }

    // Called after every pass, in order; shows the passes that are due.
    void afterPass(std::int32_t pass) {
        if (pass > step_ * total_ / 10) {
            ++step_;
            if (window_)
                ShowProgress(*window_, pass);
        }
    }

    // The final report, at the total.
    void finish() {
        if (window_)
            ShowProgress(*window_, total_);
    }

private:
    ProgressWindow* window_;
    std::int32_t total_;
    std::int32_t step_ = 1;
};

} // namespace orlix
