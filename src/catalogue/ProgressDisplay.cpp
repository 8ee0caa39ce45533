#include "catalogue/ProgressDisplay.h"

namespace orlix {

void ResetProgress(ProgressWindow& progressWindow) {
    progressWindow.setProgressText(QStringLiteral("0%"));
    progressWindow.setProgressWidth(0);
    progressWindow.counters().ProgressShown = 0;
}

void ShowProgress(ProgressWindow& progressWindow, std::int32_t value) {
    ProgressCounters& counters = progressWindow.counters();
    const std::int32_t total = counters.ProgressTotal;
    if (value > total)
        value = total;
    if (value == counters.ProgressShown)
        return;
    // A one-entry list has a total of 0; a window reused without a reset could then still hold
    // an older value. There is nothing to divide by and nothing to show.
    if (total <= 0)
        return;
    progressWindow.setProgressText(QString::number(value * 100 / total) + QLatin1Char('%'));
    progressWindow.setProgressWidth(progressWindow.frameWidth() * value / total);
    counters.ProgressShown = value;
    progressWindow.repaintNow();
}

} // namespace orlix
