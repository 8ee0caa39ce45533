#pragma once

#include "platform/ScreenMetrics.h"
#include "viewer/FrameRenderer.h"
#include "viewer/GuideLayout.h"
#include "viewer/PictureLoader.h"
#include "viewer/SlideNavigator.h"
#include "viewer/ViewGeometry.h"
#include "viewer/ViewerState.h"

#include <QImage>
#include <QWidget>

#include <array>
#include <cstdint>
#include <functional>

class QLabel;
class QTimer;

namespace orlix {

namespace platform {
class MessageService;
}
class ProgressWindow;
class PictureBox;
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

    // Reads the picture files of the folder at folderIndex into fileList.
    void LoadFolderFiles();

    // The slide step: moves (when `advance`) and shows the current picture. A tick or call
    // that comes while a step (or Form_Load) is still unfinished is dropped.
    void TimInterval_Timer();

    // Draws the current picture again without moving or reading its file, as after a pan or
    // a switch of real size or the guide.
    void redraw();

    // Closes the viewer.
    void TimUnload_Timer();

    // Recolours the guide labels.
    void PaintGuide();

    // The key handlers, with the viewer's key codes and shift state (KeyCodes.h). Every key
    // press and release on the window comes here, whichever child has the focus. A key that
    // comes while a slide step is unfinished is dropped.
    void Form_KeyDown(std::int16_t keyCode, std::int16_t shift);
    void Form_KeyUp(std::int16_t keyCode, std::int16_t shift);

    // What the window is and shows, for tests and measurements.
    const ViewerState& state() const { return state_; }
    QLabel* guideLabel(int index) const { return LabGuide.at(index); }
    QLabel* fileNameLabel() const { return LabFileName; }
    PictureBox* pictureView() const { return PicView; }
    const QImage& heldPicture() const { return PicBak; }
    QTimer* intervalTimer() const { return TimInterval; }
    QTimer* unloadTimer() const { return TimUnload; }
    // LabFileName's caption as written: its two lines are joined by a carriage return.
    const QString& caption() const { return caption_; }
    // PicView's place in twips as last laid out.
    const PicturePlacement& pictureGeometry() const { return placement_; }
    int scaleWidth() const { return screen_.widthTwips(); }
    int scaleHeight() const { return screen_.heightTwips(); }
    bool isClosed() const { return closed_; }
    // How many slide steps have run to their end or to a failure (dropped ones not counted).
    int stepsRun() const { return stepsRun_; }
    const FrameRenderer& renderer() const { return renderer_; }

protected:
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void coverScreen();
    void layoutGuide();
    void buildFolderList();
    // Runs `scan`, inside the progress window when Settings.Sort is 1.
    bool scanWithProgress(const std::function<bool(ProgressWindow*)>& scan);
    void showGuide(bool visible);
    void setCaption(const QString& caption);
    void paintPicture(bool unscaled);
    void pan(std::int16_t keyCode);
    void mark(int label);
    void pause();
    void resume();
    void closeViewer();

    const platform::ScreenMetrics screen_;
    platform::MessageService& messages_;
    SettingsWindowLink* settingsWindow_;

    PictureBox* PicView = nullptr;
    QImage PicBak; // the decoded picture, upright, kept for redraws
    std::array<QLabel*, GuideLayout::kLabelCount> LabGuide{};
    QLabel* LabFileName = nullptr;
    QTimer* TimInterval = nullptr;
    QTimer* TimUnload = nullptr;

    ViewerState state_;
    SlideNavigator navigator_;
    PictureLoader loader_;
    FrameRenderer renderer_;
    PicturePlacement placement_; // PicView, twips
    double picBakWidth_ = 0;     // PicBak's size in twips
    double picBakHeight_ = 0;
    QString caption_;

    bool busy_ = false;   // a slide step or Form_Load is under way
    bool closed_ = false; // the viewer has been closed; nothing runs any more
    int stepsRun_ = 0;
};

} // namespace orlix
