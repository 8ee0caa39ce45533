#pragma once

#include "decode/PictureDecoder.h"
#include "platform/ScreenMetrics.h"
#include "viewer/DecodedPicture.h"
#include "viewer/FrameRenderer.h"
#include "viewer/HeldEvents.h"
#include "viewer/SlideNavigator.h"
#include "viewer/ViewGeometry.h"
#include "viewer/ViewerLabels.h"
#include "viewer/ViewerState.h"

#include <QImage>
#include <QWidget>

#include <cstdint>
#include <functional>
#include <memory>

class QLabel;
class QTimer;

namespace orlix {

namespace platform {
class MessageService;
class ScreenSaverInhibitor;
} // namespace platform
class ProgressWindow;
class PictureBox;
class PictureSource;
class SettingsWindowLink;

// The borderless full-screen slide-show window. It reads the shared Settings record.
// Usage: construct, call Form_Load() (builds the folder list and loads the first folder; the
// window is not visible yet), then show(). The window deletes itself when it closes.
//
// Pictures are read and decoded on a worker thread (PictureSource): the next picture of the
// show is decoded ahead, so most steps find it ready. A step whose picture is not ready waits
// for it without blocking the window: Esc still closes the viewer at once, and every other
// key and tick that arrives meanwhile is held back and handled, in order, when the step ends,
// so the show goes through the same steps in the same order as if the step had been instant.
class FormView : public QWidget {
    Q_OBJECT
public:
    // `screen`: the screen to cover. `messages`: where failure boxes go.
    // `settingsWindow`: receives the Home/Ctrl check-box mirrors; may be null.
    // `decoder`: what turns files into pictures; null for the program's own.
    // `screenSaver`: kept from blanking the screen while the show runs; may be null.
    FormView(const platform::ScreenMetrics& screen, platform::MessageService& messages,
             SettingsWindowLink* settingsWindow, QWidget* parent = nullptr,
             std::shared_ptr<const PictureDecoder> decoder = nullptr,
             platform::ScreenSaverInhibitor* screenSaver = nullptr);
    ~FormView() override;

    void Form_Load();

    // Reads the picture files of the folder at folderIndex into fileList.
    void LoadFolderFiles();

    // The slide step: moves (when `advance`) and shows the current picture. It ends at once
    // when the picture is at hand, otherwise when the decoding thread delivers it. A tick that
    // comes while a step waits for its picture is held back and run after it; one that comes
    // while Form_Load, a progress window or a failure box is under way is dropped.
    void TimInterval_Timer();

    // Draws the current picture again without moving, as after a pan or a switch of real size
    // or the guide.
    void redraw();

    // Whether a slide step waits for its picture.
    bool isWaiting() const { return waiting_; }
    // Whether a step waits or held-back events are still to run.
    bool isSettled() const { return !waiting_ && heldEvents_.empty(); }

    // Closes the viewer.
    void TimUnload_Timer();

    // Recolours the guide labels.
    void PaintGuide();

    // The key handlers, with the viewer's key codes and shift state (KeyCodes.h). Every key
    // press and release on the window comes here, whichever child has the focus. While a
    // step waits for its picture, Esc closes the viewer and every other key is held back; a
    // key that comes while a failure box or a progress window is open is dropped.
    void Form_KeyDown(std::int16_t keyCode, std::int16_t shift);
    void Form_KeyUp(std::int16_t keyCode, std::int16_t shift);

    // What the window is and shows, for tests and measurements.
    const ViewerState& state() const { return state_; }
    QLabel* guideLabel(int index) const { return labels_.guideLabel(index); }
    QLabel* fileNameLabel() const { return labels_.fileNameLabel(); }
    PictureBox* pictureView() const { return PicView; }
    // The picture held for redraws (PicBak); null after a failure.
    const DecodedPicture* heldPicture() const { return PicBak.get(); }
    PictureSource& pictures() const { return *pictures_; }
    QTimer* intervalTimer() const { return TimInterval; }
    QTimer* unloadTimer() const { return TimUnload; }
    // LabFileName's caption as written: its two lines are joined by a carriage return.
    const QString& caption() const { return labels_.caption(); }
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
    void hideEvent(QHideEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void coverScreen();
    void buildFolderList();
    // Runs `scan`, inside the progress window when Settings.Sort is 1.
    bool scanWithProgress(const std::function<bool(ProgressWindow*)>& scan);
    // The slide step in two halves: runStep moves and lays out, asks for the picture and, when
    // it is at hand, goes on into finishStep at once. `then` is the rest of the key action that
    // ran the step; it runs when the step ends, unless the step closed the viewer.
    void runStep(bool moving, std::function<void()> then);
    void finishStep(PicturePtr picture);
    void endStep();
    void replayHeld();
    void finishKey();
    ViewParams currentView() const;
    void layOutAndPaint();
    void paintPicture();
    void pan(std::int16_t keyCode);
    void pause();
    void resume();
    void closeViewer();
    void stopEverything();
    // The screen is kept awake exactly while the show runs: the window is open and shown and
    // its slide timer runs. Called wherever one of those changes.
    void showRunningChanged();

    const platform::ScreenMetrics screen_;
    platform::MessageService& messages_;
    SettingsWindowLink* settingsWindow_;
    platform::ScreenSaverInhibitor* screenSaver_;

    PictureBox* PicView = nullptr;
    PicturePtr PicBak;    // the decoded picture, upright, kept for redraws
    ViewerLabels labels_; // LabGuide and LabFileName
    QTimer* TimInterval = nullptr;
    QTimer* TimUnload = nullptr;

    ViewerState state_;
    SlideNavigator navigator_;
    std::unique_ptr<PictureSource> pictures_; // its decoding thread ends with the window
    FrameRenderer renderer_;
    PicturePlacement placement_; // PicView, twips
    double picBakWidth_ = 0;     // PicBak's size in twips
    double picBakHeight_ = 0;

    bool busy_ = false;    // Form_Load or a part of a step runs (a box may be open in it)
    bool waiting_ = false; // a step waits for its picture
    bool stepMoves_ = false;
    std::function<void()> afterStep_;
    HeldEvents heldEvents_;
    bool replaying_ = false;
    bool closed_ = false; // the viewer has been closed; nothing runs any more
    int stepsRun_ = 0;
};

} // namespace orlix
