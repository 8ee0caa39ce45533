#pragma once

#include "catalogue/ProgressWindow.h"

#include <QWidget>

#include <memory>

namespace orlix {

// The progress window shown around every sorted scan: "Please Wait ... Sorting Now", a
// percentage and a growing green bar. Frameless, no taskbar button, centred on the screen of
// `anchor` (or the primary screen), wait pointer while it is loaded.
// Construct it (that loads it and resets the display), show() it, let pending events run once,
// pass it to ScanFolder, then close and destroy it. Its parts carry the names the window was
// designed with: the panel Frame1, the caption Label1, the track Shp_Frame, the fill Shp_Prog
// and the percentage Lab_Prog.
class FormWait : public QWidget, public ProgressWindow {
    Q_OBJECT
public:
    explicit FormWait(const QWidget* anchor = nullptr);
    ~FormWait() override;

    // ProgressWindow
    void setProgressText(const QString& text) override;
    void setProgressWidth(int twips) override;
    int frameWidth() const override;
    void repaintNow() override;

private:
    struct Parts;
    std::unique_ptr<Parts> parts_;
};

} // namespace orlix
