#pragma once

#include "platform/ScreenMetrics.h"

#include <QWidget>

namespace orlix {

namespace platform {
class MessageService;
}
class SettingsWindowLink;

// The borderless full-screen slide-show window. It reads the shared Settings record.
// Usage: construct, call Form_Load() (builds the folder list and loads the first folder; the
// window is not visible yet), then show(). The window deletes itself when it closes.
class FormView : public QWidget {
    Q_OBJECT
public:
    // `screen`: the screen to cover. `messages`: where failure boxes go.
    // `settingsWindow`: receives the Home/Ctrl check-box mirrors; may be null.
    FormView(const platform::ScreenMetrics& screen, platform::MessageService& messages,
             SettingsWindowLink* settingsWindow, QWidget* parent = nullptr);
    ~FormView() override;

    void Form_Load();

    // (The rest of the class is the viewer's own business.)
};

} // namespace orlix
