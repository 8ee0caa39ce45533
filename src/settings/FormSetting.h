#pragma once

#include "settings/FormSettingControls.h"
#include "viewer/steps/SettingsWindowLink.h"

#include <QPointer>
#include <QWidget>

#include <cstdint>
#include <functional>
#include <memory>

class QMimeData;

namespace orlix {

namespace platform {
struct ScreenMetrics;
class MessageService;
class ScreenSaverInhibitor;
class TextCollator;
} // namespace platform
class FormView;
class PictureDecoder;

// The program's main window: folder, file type, interval and switches, Start and Exit. Its
// controls are placed by the layout table (SettingsLayout.h), Start's checks need no window
// (StartRules.h), the path box keeps a history (PathHistory.h) and takes dropped folders
// (PathDrop.h); Enter and Esc work as in a dialog (DialogKeys.h). This window owns the viewer
// it opens, and closing it ends the program.
class FormSetting : public QWidget, public SettingsWindowLink {
    Q_OBJECT
public:
    // `messages` shows the input errors. `endProgram` is called once when the window closes,
    // after every other window is gone; by default it leaves the application's event loops.
    // `screenSaver`: what the viewer keeps from blanking the screen while a show runs; may be
    // null.
    explicit FormSetting(platform::MessageService& messages, std::function<void()> endProgram = {},
                         platform::ScreenSaverInhibitor* screenSaver = nullptr,
                         QWidget* parent = nullptr);
    ~FormSetting() override;

    // What the viewers opened from now on decode pictures with; by default the program's own
    // decoder on their decoding thread.
    void setDecoder(std::shared_ptr<PictureDecoder> decoder) { decoder_ = std::move(decoder); }

    // What a show takes beyond its viewer and gives back: `starting` runs as Start opens a
    // viewer, with the screen it will cover; `ended` once that viewer is gone, unless the
    // program is ending with it. Either may be empty.
    void setShowHooks(std::function<void(const platform::ScreenMetrics&)> starting,
                      std::function<void()> ended) {
        showStarting_ = std::move(starting);
        showEnded_ = std::move(ended);
    }

    // The Start command: checks the inputs, fills Settings, keeps the path history and opens
    // the viewer (or brings the open one to the front).
    void CmdStart_Click();
    void CmdExit_Click();
    // Keeps one of the extension box's items selected whatever is typed.
    void CmbExt_Change();
    // Takes the first path of a dragged file list into the path box. False, with nothing
    // changed, when the data holds no local path.
    bool CmbPath_OLEDragDrop(const QMimeData& data);

    // SettingsWindowLink: the viewer's Home and Ctrl keys.
    void setRealSizeCheck(std::int16_t value) override;
    void setGuideCheck(std::int16_t value) override;

    // The viewer opened by Start while it is open, else null.
    FormView* viewer() const;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void Form_Load();
    void Form_Unload();
    void recordPathInHistory();
    void openViewer();

    platform::MessageService& messages_;
    std::function<void()> endProgram_;
    platform::ScreenSaverInhibitor* screenSaver_;
    std::shared_ptr<PictureDecoder> decoder_;
    std::function<void(const platform::ScreenMetrics&)> showStarting_;
    std::function<void()> showEnded_;
    std::unique_ptr<platform::TextCollator> collator_;
    bool unloaded_ = false;
    QPointer<FormView> viewer_;

    FormSettingControls controls_;
};

} // namespace orlix
