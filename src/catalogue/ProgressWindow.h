#pragma once

#include <QString>

namespace orlix {

// What the sort's progress routines need of a progress window: the percentage text
// (Lab_Prog), the fill (Shp_Prog, whose width is set) and the track (Shp_Frame, whose width
// is read). Widths are twips. FormWait is the program's one implementation; tests record calls.
class ProgressWindow {
public:
    virtual ~ProgressWindow() = default;
    virtual void setProgressText(const QString& text) = 0;
    virtual void setProgressWidth(int twips) = 0;
    virtual int frameWidth() const = 0;
    // Repaints at once: while the sort runs no window events are processed.
    virtual void repaintNow() = 0;
};

} // namespace orlix
