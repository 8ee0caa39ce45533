#pragma once

#include "decode/codec/PictureDecoder.h"
#include "platform/desktop/ScreenMetrics.h"
#include "viewer/sources/BackgroundScan.h"
#include "viewer/sources/PictureSourceProvider.h"
#include "viewer/steps/DecodedPicture.h"
#include "viewer/steps/FrameRenderer.h"
#include "viewer/steps/SlideStepMachine.h"
#include "viewer/steps/StepHost.h"
#include "viewer/window/ViewerLabels.h"

#include <QWidget>

#include <cstdint>
#include <memory>

class QTimer;

namespace orlix {

namespace platform {
class MessageService;
class ScreenSaverInhibitor;
} // namespace platform
class PictureBox;
class PictureSource;
class SettingsWindowLink;
class ShowObserver;

// The borderless full-screen slide-show window. It reads the shared Settings record.
// Usage: construct, call Form_Load(), then show(). The window deletes itself when it closes.
//
// Folders are listed and pictures decoded off the GUI thread (BackgroundScan, PictureSource),
// and the next picture of the show is decoded ahead. The steps themselves, with what they wait
// for and what comes meanwhile, are SlideStepMachine's; the window carries out what it asks.
// Its widgets and timers carry the names of the written design as object names (PicView,
// TimInterval, TimUnload, LabFileName, LabGuide0 to LabGuide12).
class FormView : public QWidget, private StepHost {
    Q_OBJECT
public:
    // `screen`: the screen to cover. `messages`: where failure boxes go.
    // `settingsWindow`: receives the Home/Ctrl check-box mirrors; may be null.
    // `decoder`: what turns files into pictures; null for the program's own.
    // `screenSaver`: kept from blanking the screen while the show runs; may be null.
    // `scan`: what lists a folder; null for the program's ScanFolder.
    // `observer`: follows the show from outside; may be null.
    FormView(const platform::ScreenMetrics& screen, platform::MessageService& messages,
             SettingsWindowLink* settingsWindow, QWidget* parent = nullptr,
             std::shared_ptr<PictureDecoder> decoder = nullptr,
             platform::ScreenSaverInhibitor* screenSaver = nullptr,
             BackgroundScan::ScanFunction scan = nullptr, ShowObserver* observer = nullptr);
    ~FormView() override;

    // Covers the screen, lays the guide out and starts loading the show. A show() that comes
    // before loading has ended takes effect when it ends, so that the progress windows of the
    // loading come before the viewer, as they always have.
    void Form_Load();

    // The slide step (SlideStepMachine::tick).
    void TimInterval_Timer();
    // Draws the current picture again without moving.
    void redraw();
    // Closes the viewer.
    void TimUnload_Timer();
    // Recolours the guide labels.
    void PaintGuide();
    // The key handlers, with the viewer's key codes and shift state (KeyCodes.h). Every key
    // press and release on the window comes here, whichever child has the focus.
    void Form_KeyDown(std::int16_t keyCode, std::int16_t shift);
    void Form_KeyUp(std::int16_t keyCode, std::int16_t shift);

    void setVisible(bool visible) override;

protected:
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    // StepHost
    void startSlideTimer(int intervalMs) override;
    void stopSlideTimer() override;
    void setSlideInterval(int intervalMs) override;
    void loaded(bool hasPictures) override;
    void markGuide(GuideLabel label) override;
    void paintGuide() override;
    void setPaused(bool paused) override;
    void showGuide(bool shown) override;
    void setCaption(const QString& caption) override;
    int guideHeightTwips() const override;
    QByteArray displayProfile() const override;
    void hidePicture() override;
    void showPicture(const DecodedPicture& picture, const PicturePlacement& placement,
                     const FrameParams& frame) override;
    void forgetFrames() override;
    void warn(const QString& text) override;
    void hideViewer() override;
    void closeViewer() override;

    void coverScreen();
    void stopTimers();
    // The screen is kept awake exactly while the show runs: the window is open and shown and
    // its slide timer runs. Called wherever one of those changes.
    void showRunningChanged();

    const platform::ScreenMetrics screen_;
    platform::MessageService& messages_;
    platform::ScreenSaverInhibitor* screenSaver_;
    ShowObserver* const observer_;

    PictureBox* PicView = nullptr;
    ViewerLabels labels_; // LabGuide and LabFileName
    QTimer* TimInterval = nullptr;
    QTimer* TimUnload = nullptr;
    FrameRenderer renderer_;
    bool showWhenLoaded_ = false;

    std::unique_ptr<PictureSource> pictures_; // its decoding thread ends with the window
    PictureSourceProvider provider_;
    BackgroundScan scan_;
    SlideStepMachine steps_; // last: it refers to everything above
};

} // namespace orlix
