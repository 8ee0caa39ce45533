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
// final one at the total. Both sorts follow it so that the window shows the same values.
class ProgressSchedule {
public:
    explicit ProgressSchedule(std::int32_t total) : total_(total) {}

    // Called after every pass, in order; true when that pass is reported.
    bool reportsAfterPass(std::int32_t pass) {
        if (pass > step_ * total_ / 10) {
            ++step_;
            return true;
        }
        return false;
    }

private:
    std::int32_t total_;
    std::int32_t step_ = 1;
};

} // namespace orlix
