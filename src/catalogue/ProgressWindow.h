#pragma once

#include <QString>

#include <cstdint>

namespace orlix {

// The two counters of the sort's progress display. They belong to the window that shows
// them, so that every freshly loaded window starts from its own reset display.
struct ProgressCounters {
    // The value that stands for 100 %: the last index of the list being sorted.
    std::int32_t ProgressTotal = 0;
    // The value last put on the window.
    std::int32_t ProgressShown = 0;
};

// What the sort's progress routines need of a progress window: the percentage text
// (Lab_Prog), the fill (Shp_Prog, whose width is set) and the track (Shp_Frame, whose width
// is read). Widths are twips. FormWait shows them; the sort knows no more of it than this.
class ProgressWindow {
public:
    virtual ~ProgressWindow() = default;
    virtual void setProgressText(const QString& text) = 0;
    virtual void setProgressWidth(int twips) = 0;
    virtual int frameWidth() const = 0;
    // Repaints at once: while the sort runs no window events are processed.
    virtual void repaintNow() = 0;

    ProgressCounters& counters() { return counters_; }
    const ProgressCounters& counters() const { return counters_; }

private:
    ProgressCounters counters_;
};

} // namespace orlix
