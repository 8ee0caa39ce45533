#pragma once

#include "catalogue/ProgressWindow.h"

#include <QWidget>

#include <memory>

namespace orlix {

// The progress window shown around every sorted scan: "Please Wait ... Sorting Now", a
// percentage and a growing green bar. Frameless, no taskbar button, centred on the screen of
// `anchor` (or the primary screen), wait pointer while it is loaded.
// Construct it (that loads it and resets the display), show() it, let pending events run once,
// pass it to ScanFolder, then close and destroy it.
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

    // What is on display, for tests.
    QString progressText() const;
    int progressWidth() const;

private:
    struct Parts;
    std::unique_ptr<Parts> parts_;
};

} // namespace orlix
