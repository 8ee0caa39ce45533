#include "viewer/FormView.h"

#include "app/AppInfo.h"
#include "app/Settings.h"
#include "catalogue/FormWait.h"
#include "catalogue/ScanFolder.h"
#include "platform/DisplayProfile.h"
#include "platform/MessageService.h"
#include "platform/ScreenSaverInhibitor.h"
#include "platform/UiFont.h"
#include "platform/WindowHints.h"
#include "viewer/GuideColours.h"
#include "viewer/KeyMapping.h"
#include "viewer/PanRules.h"
#include "viewer/PictureBox.h"
#include "viewer/PictureSource.h"
#include "viewer/SettingsWindowLink.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QScopedValueRollback>
#include <QScreen>
#include <QTimer>

#include <memory>
#include <optional>
#include <utility>

namespace orlix {

namespace {

// The Japanese user-interface font at 9 points; it has the four arrow glyphs of the guide.
QFont viewerFont() {
    return platform::uiGothicFont(9);
}

int pixels(double twips) {
    return platform::twipsToPixels(twips);
}

} // namespace

FormView::FormView(const platform::ScreenMetrics& screen, platform::MessageService& messages,
                   SettingsWindowLink* settingsWindow, QWidget* parent,
                   std::shared_ptr<const PictureDecoder> decoder,
                   platform::ScreenSaverInhibitor* screenSaver)
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint), screen_(screen), messages_(messages),
      settingsWindow_(settingsWindow), screenSaver_(screenSaver), PicView(new PictureBox(this)),
      labels_(this), navigator_(state_, [this] { LoadFolderFiles(); }),
      pictures_(std::make_unique<PictureSource>(std::move(decoder))) {
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QString::fromUtf8(app::kTitle));
    setFont(viewerFont());
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, Qt::black);
    setPalette(palette);
    setAutoFillBackground(true);
    setFocusPolicy(Qt::StrongFocus);
    // No pointer over the pictures; the labels and the picture box inherit the blank one.
    setCursor(Qt::BlankCursor);
    // A normal window that keeps the keyboard, but without a taskbar button of its own.
    platform::keepOffTaskbar(this);

    PicView->hide(); // made before the labels, which lie over it

    TimInterval = new QTimer(this);
    TimUnload = new QTimer(this);
    connect(TimInterval, &QTimer::timeout, this, &FormView::TimInterval_Timer);
    connect(TimUnload, &QTimer::timeout, this, &FormView::TimUnload_Timer);
}

FormView::~FormView() {
    if (screenSaver_)
        screenSaver_->setInhibited(false);
}

void FormView::Form_Load() {
    const QScopedValueRollback<bool> busy(busy_, true);
    state_.folderIndex = -1;
    coverScreen();
    TimUnload->setInterval(1);
    TimUnload->stop();
    TimInterval->setInterval(0);
    TimInterval->stop();
    PicView->hide();
    labels_.layOut(scaleWidth(), scaleHeight(), Settings.Guide == 1);
    buildFolderList();
    if (!navigator_.findFirstFolder()) {
        TimUnload->start();
        TimInterval->stop();
        return;
    }
    state_.fileIndex = -1;
    state_.lastKey = keycode::kRight;
    state_.advance = true;
    PaintGuide();
    TimInterval->setInterval(1);
    TimInterval->start();
    showRunningChanged();
}

void FormView::coverScreen() {
    setGeometry(screen_.geometry);
    // Ask for the full-screen state only where the platform's screen is the one measured:
    // a window manager then keeps the window above its panels; without one the geometry
    // set above is what counts (the state alone would give a default-sized window).
    QScreen* platformScreen = QGuiApplication::screenAt(screen_.geometry.center());
    if (platformScreen && platformScreen->geometry() == screen_.geometry) {
        setScreen(platformScreen);
        setWindowState(windowState() | Qt::WindowFullScreen);
    }
}

bool FormView::scanWithProgress(const std::function<bool(ProgressWindow*)>& scan) {
    if (Settings.Sort != 1)
        return scan(nullptr);
    auto wait = std::make_unique<FormWait>(this);
    wait->show();
    // Once, so that the progress window is painted before the scan blocks the thread. A tick
    // or key delivered here finds the viewer busy and is dropped.
    QCoreApplication::processEvents();
    const bool found = scan(wait.get());
    wait->close();
    return found;
}

void FormView::buildFolderList() {
    state_.folderList = EntryList(1);
    if (Settings.SubFolder == 1) {
        const FileEntry root{Settings.Path, kDirectoryBit};
        const bool found = scanWithProgress([&](ProgressWindow* progress) {
            return ScanFolder(root, state_.folderList, Settings.Sort, kDirectoriesMask, QString(),
                              progress);
        });
        if (!found)
            state_.folderList = EntryList(1);
    } else {
        state_.folderList[0] = FileEntry{Settings.Path, kDirectoryBit};
    }
}

void FormView::LoadFolderFiles() {
    if (state_.folderIndex < 0 || state_.folderIndex >= static_cast<int>(state_.folderList.size()))
        return;
    const FileEntry folder = state_.folderList[state_.folderIndex];
    const bool found = scanWithProgress([&](ProgressWindow* progress) {
        return ScanFolder(folder, state_.fileList, Settings.Sort, kAnyEntryMask, Settings.ExtList,
                          progress);
    });
    if (found) {
        state_.lastFileIndex = static_cast<std::int32_t>(state_.fileList.size()) - 1;
        state_.fileIndex = 0;
    }
}

void FormView::TimInterval_Timer() {
    if (closed_)
        return;
    if (waiting_) {
        heldEvents_.hold({HeldEvent::Kind::Tick});
        return;
    }
    if (busy_)
        return;
    runStep(state_.advance, nullptr);
}

void FormView::redraw() {
    if (busy_ || closed_ || waiting_)
        return;
    state_.advance = false;
    runStep(false, [this] { finishKey(); });
}

ViewParams FormView::currentView() const {
    ViewParams view;
    view.scaleWidth = scaleWidth();
    view.viewHeight = state_.viewHeight;
    view.devicePixelRatio = screen_.devicePixelRatio;
    view.realSize = Settings.RealSize == 1;
    view.displayProfile = platform::displayProfile(screen());
    return view;
}

void FormView::runStep(bool moving, std::function<void()> then) {
    QString path;
    {
        const QScopedValueRollback<bool> busy(busy_, true);
        const std::int32_t intervalMs = std::int32_t(Settings.Interval) * 1000;
        if (TimInterval->interval() != intervalMs)
            TimInterval->setInterval(intervalMs);

        if (moving) {
            state_.offsetX = 0;
            state_.offsetY = 0;
            const auto outcome =
                navigator_.move(state_.lastKey, Settings.Loop == 1, Settings.Auto != 0);
            if (outcome != SlideNavigator::Outcome::Moved) {
                closeViewer();
                return;
            }
        }
        afterStep_ = std::move(then);
        stepMoves_ = moving;
        // Only while the viewer closes for want of pictures is there no current file.
        if (state_.lastFileIndex >= 0 && state_.fileIndex >= 0 &&
            state_.fileIndex < static_cast<int>(state_.fileList.size())) {
            const bool guideOn = Settings.Guide == 1;
            state_.viewHeight =
                computeViewHeight(scaleHeight(), labels_.guideHeightTwips(), guideOn);
            PicView->hide();
            labels_.setVisible(guideOn);
            path = state_.fileList[static_cast<std::size_t>(state_.fileIndex)].Path;
            labels_.setCaption(path);
        }
    }
    if (path.isEmpty()) {
        endStep();
        return;
    }
    // The answer may come before fetch or refine returns: the step then ends at once.
    waiting_ = true;
    const auto done = [this](PicturePtr picture) { finishStep(std::move(picture)); };
    if (stepMoves_)
        pictures_->fetch(path, currentView(), done);
    else
        pictures_->refine(PicBak, currentView(), done);
}

void FormView::finishStep(PicturePtr picture) {
    waiting_ = false;
    {
        const QScopedValueRollback<bool> busy(busy_, true);
        if (stepMoves_)
            renderer_.clear();
        if (picture && picture->error != LoadError::None) {
            // Nothing of the previous picture may be shown under this file's name.
            renderer_.clear();
            pictures_->retire(std::move(PicBak));
            PicBak.reset();
            if (isReported(picture->error))
                messages_.warning(this, QString::fromUtf8(app::kTitle),
                                  failureMessage(picture->error));
        } else if (picture && picture->ok()) {
            if (picture != PicBak)
                pictures_->retire(std::exchange(PicBak, std::move(picture)));
            layOutAndPaint();
        }
    }
    endStep();
}

void FormView::endStep() {
    ++stepsRun_;
    if (std::function<void()> then = std::move(afterStep_)) {
        afterStep_ = nullptr;
        then();
    }
    if (closed_)
        return;
    // What the show wants next: the picture the next step in its direction shows, while that
    // step stays in this folder, and the full resolution of a picture shown reduced.
    const int next = navigator_.nextFileWithinFolder(state_.lastKey, Settings.Auto != 0);
    pictures_->prepare(next >= 0 ? state_.fileList[static_cast<std::size_t>(next)].Path : QString(),
                       currentView(), PicBak);
    replayHeld();
}

void FormView::replayHeld() {
    if (replaying_)
        return; // the loop below goes on once the step it ran has ended
    const QScopedValueRollback<bool> replaying(replaying_, true);
    while (!waiting_ && !busy_ && !closed_) {
        const std::optional<HeldEvent> next = heldEvents_.takeNext();
        if (!next)
            break;
        const HeldEvent event = *next;
        switch (event.kind) {
        case HeldEvent::Kind::Tick:
            TimInterval_Timer();
            break;
        case HeldEvent::Kind::KeyDown:
            Form_KeyDown(event.code, event.shift);
            break;
        case HeldEvent::Kind::KeyUp:
            Form_KeyUp(event.code, event.shift);
            break;
        }
    }
}

void FormView::layOutAndPaint() {
    const DecodedPicture& held = *PicBak;
    const ViewParams view = currentView();
    const double twips = twipsPerPicturePixel(view);
    picBakWidth_ = held.pixelSize.width() * twips;
    picBakHeight_ = held.pixelSize.height() * twips;
    placement_ = placementFor(view, held.pixelSize);
    PicView->place(QRect(pixels(placement_.left), pixels(placement_.top), pixels(placement_.width),
                         pixels(placement_.height)),
                   screen_.devicePixelRatio);
    labels_.setCaption(pictureCaption(held.path, held.pixelSize.width(), held.pixelSize.height(),
                                      scalePercent(view.realSize, placement_.width, picBakWidth_)));
    paintPicture();
    PicView->show();
}

void FormView::paintPicture() {
    const DecodedPicture& held = *PicBak;
    const FrameParams params =
        frameParamsFor(currentView(), placement_, held.pixelSize, state_.offsetX, state_.offsetY);
    // The frame made with the picture is the one wanted until the view or the pan changes.
    if (!held.frame.isNull() && held.frameParams == params)
        renderer_.adopt(held.image, params, held.frame);
    PicView->setFrame(renderer_.render(held.image, params), screen_.devicePixelRatio);
}

void FormView::PaintGuide() {
    labels_.repaint(Settings.RealSize, Settings.Guide, Settings.Auto, state_.lastKey);
}

void FormView::Form_KeyDown(std::int16_t keyCode, std::int16_t shift) {
    if (closed_)
        return;
    if (waiting_) {
        if (keyCode == keycode::kEsc) {
            labels_.mark(0);
            closeViewer(); // abandons the decode the step waits for
        } else {
            heldEvents_.hold({HeldEvent::Kind::KeyDown, keyCode, shift});
        }
        return;
    }
    if (busy_)
        return;
    switch (keyCode) {
    case keycode::kEsc:
        labels_.mark(0);
        closeViewer();
        return;
    case keycode::kEnter:
        labels_.mark(1);
        if (TimInterval->isActive())
            TimInterval->stop();
        else
            TimInterval->start();
        labels_.setPaused(!TimInterval->isActive());
        showRunningChanged();
        break;
    case keycode::kUp:
    case keycode::kDown:
    case keycode::kLeft:
    case keycode::kRight:
        pause();
        if (shift & keycode::kShiftBit) {
            labels_.mark(directionLabel(keyCode) + 4); // the MoveUp .. MoveRight labels
            if (state_.folderIndex > -1) {
                pan(keyCode);
                state_.advance = false;
                runStep(false, [this] { finishKey(); });
                return;
            }
        } else {
            state_.lastKey = keyCode;
            labels_.mark(directionLabel(keyCode));
            state_.advance = true;
            runStep(true, [this] {
                if (Settings.Auto == 0)
                    resume();
                finishKey();
            });
            return;
        }
        break;
    case keycode::kHome:
        labels_.mark(10);
        Settings.RealSize = Settings.RealSize == 1 ? 0 : 1;
        if (settingsWindow_)
            settingsWindow_->setRealSizeCheck(Settings.RealSize);
        if (state_.folderIndex > -1) {
            state_.advance = false;
            runStep(false, [this] { finishKey(); });
            return;
        }
        break;
    case keycode::kCtrl:
        Settings.Guide = Settings.Guide == 1 ? 0 : 1;
        if (settingsWindow_)
            settingsWindow_->setGuideCheck(Settings.Guide);
        if (Settings.Guide == 1)
            labels_.mark(11);
        if (state_.folderIndex > -1) {
            state_.advance = false;
            runStep(false, [this] { finishKey(); });
            return;
        }
        break;
    default:
        break;
    }
    finishKey();
}

void FormView::finishKey() {
    // The key action's last word: the next tick moves on again.
    if (!closed_)
        state_.advance = true;
}

void FormView::Form_KeyUp(std::int16_t keyCode, std::int16_t shift) {
    if (waiting_ && !closed_) {
        heldEvents_.hold({HeldEvent::Kind::KeyUp, keyCode, shift});
        return;
    }
    PaintGuide();
}

void FormView::pan(std::int16_t keyCode) {
    switch (keyCode) {
    case keycode::kUp:
        state_.offsetY = panBack(state_.offsetY, scaleHeight());
        break;
    case keycode::kDown:
        state_.offsetY =
            panForward(state_.offsetY, scaleHeight(), picBakHeight_, placement_.height);
        break;
    case keycode::kLeft:
        state_.offsetX = panBack(state_.offsetX, scaleWidth());
        break;
    case keycode::kRight:
        state_.offsetX = panForward(state_.offsetX, scaleWidth(), picBakWidth_, placement_.width);
        break;
    default:
        break;
    }
}

void FormView::pause() {
    TimInterval->stop();
    labels_.setPaused(true);
    showRunningChanged();
}

void FormView::resume() {
    TimInterval->start(); // a full interval begins
    labels_.setPaused(false);
    showRunningChanged();
}

void FormView::showRunningChanged() {
    if (screenSaver_)
        screenSaver_->setInhibited(!closed_ && !isHidden() && TimInterval->isActive());
}

void FormView::keyPressEvent(QKeyEvent* event) {
    const ViewerKey key = mapKey(event->key(), event->modifiers());
    Form_KeyDown(key.code, key.shift);
    event->accept();
}

void FormView::keyReleaseEvent(QKeyEvent* event) {
    // A held key repeats its key-down; its mark stays until the key is really let go.
    if (!event->isAutoRepeat()) {
        const ViewerKey key = mapKey(event->key(), event->modifiers());
        Form_KeyUp(key.code, key.shift);
    }
    event->accept();
}

void FormView::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    // Also when the settings window ends the program: it hides the viewer and goes.
    showRunningChanged();
}

void FormView::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    showRunningChanged();
    platform::requestFocus(this);
    setFocus(Qt::ActiveWindowFocusReason);
}

void FormView::TimUnload_Timer() {
    closeViewer();
}

void FormView::closeViewer() {
    if (closed_)
        return;
    closed_ = true;
    stopEverything();
    close();
}

void FormView::closeEvent(QCloseEvent* event) {
    closed_ = true;
    stopEverything();
    event->accept();
}

void FormView::stopEverything() {
    TimInterval->stop();
    TimUnload->stop();
    // A decode under way is abandoned: nothing of it comes back, no box either.
    pictures_->cancelAll();
    waiting_ = false;
    afterStep_ = nullptr;
    heldEvents_.clear();
    showRunningChanged();
}

} // namespace orlix
