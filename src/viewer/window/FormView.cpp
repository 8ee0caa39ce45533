#include "viewer/window/FormView.h"

#include "core/AppInfo.h"
#include "core/Settings.h"
#include "platform/desktop/DisplayProfile.h"
#include "platform/desktop/MessageService.h"
#include "platform/desktop/ScreenSaverInhibitor.h"
#include "platform/desktop/UiFont.h"
#include "platform/desktop/WindowHints.h"
#include "viewer/sources/PictureSource.h"
#include "viewer/steps/KeyMapping.h"
#include "viewer/window/PictureBox.h"
#include "viewer/window/ShowObserver.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QScreen>
#include <QTimer>

#include <utility>

namespace orlix {

namespace {

int pixels(double twips) {
    return platform::twipsToPixels(twips);
}

SlideStepMachine::Screen stepScreen(const platform::ScreenMetrics& screen) {
    return {screen.widthTwips(), screen.heightTwips(), screen.devicePixelRatio};
}

PictureSource::BusyNotice busyNoticeOf(ShowObserver* observer) {
    if (!observer)
        return nullptr;
    return [observer](bool busy) { observer->decodingBusy(busy); };
}

} // namespace

FormView::FormView(const platform::ScreenMetrics& screen, platform::MessageService& messages,
                   SettingsWindowLink* settingsWindow, QWidget* parent,
                   std::shared_ptr<PictureDecoder> decoder,
                   platform::ScreenSaverInhibitor* screenSaver, BackgroundScan::ScanFunction scan,
                   ShowObserver* observer)
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint), screen_(screen), messages_(messages),
      screenSaver_(screenSaver), observer_(observer), PicView(new PictureBox(this)), labels_(this),
      pictures_(std::make_unique<PictureSource>(std::move(decoder), busyNoticeOf(observer))),
      provider_(*pictures_), scan_(this, std::move(scan)),
      steps_(*this, provider_, scan_, Settings, settingsWindow, stepScreen(screen)) {
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QString::fromUtf8(app::kTitle));
    // The Japanese user-interface font at 9 points; it has the four arrow glyphs of the guide.
    setFont(platform::uiGothicFont(9));
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, Qt::black);
    setPalette(palette);
    setAutoFillBackground(true);
    setFocusPolicy(Qt::StrongFocus);
    // No pointer over the pictures; the labels and the picture box inherit the blank one.
    setCursor(Qt::BlankCursor);
    // A normal window that keeps the keyboard, but without a taskbar button of its own.
    platform::keepOffTaskbar(this);

    PicView->setObjectName(QStringLiteral("PicView"));
    PicView->hide(); // made before the labels, which lie over it

    TimInterval = new QTimer(this);
    TimInterval->setObjectName(QStringLiteral("TimInterval"));
    TimUnload = new QTimer(this);
    TimUnload->setObjectName(QStringLiteral("TimUnload"));
    connect(TimInterval, &QTimer::timeout, this, &FormView::TimInterval_Timer);
    connect(TimUnload, &QTimer::timeout, this, &FormView::TimUnload_Timer);
    if (observer_)
        observer_->showMade(steps_);
}

FormView::~FormView() {
    if (screenSaver_)
        screenSaver_->setInhibited(false);
}

void FormView::Form_Load() {
    coverScreen();
    TimUnload->setInterval(1);
    TimUnload->stop();
    TimInterval->setInterval(0);
    TimInterval->stop();
    PicView->hide();
    labels_.layOut(screen_.widthTwips(), screen_.heightTwips(), Settings.Guide == 1);
    steps_.load();
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

void FormView::setVisible(bool visible) {
    if (steps_.phase() == SlideStepMachine::Phase::Loading) {
        showWhenLoaded_ = visible;
        if (visible)
            return;
    }
    if (visible && steps_.closed())
        return;
    QWidget::setVisible(visible);
}

void FormView::TimInterval_Timer() {
    steps_.tick();
}

void FormView::redraw() {
    steps_.redraw();
}

void FormView::TimUnload_Timer() {
    steps_.close();
}

void FormView::PaintGuide() {
    labels_.repaint(Settings.RealSize, Settings.Guide, Settings.Auto, steps_.state().lastKey);
}

void FormView::Form_KeyDown(std::int16_t keyCode, std::int16_t shift) {
    steps_.keyDown(keyCode, shift);
}

void FormView::Form_KeyUp(std::int16_t keyCode, std::int16_t shift) {
    steps_.keyUp(keyCode, shift);
}

void FormView::startSlideTimer(int intervalMs) {
    TimInterval->start(intervalMs);
    showRunningChanged();
}

void FormView::stopSlideTimer() {
    TimInterval->stop();
    showRunningChanged();
}

void FormView::setSlideInterval(int intervalMs) {
    TimInterval->setInterval(intervalMs);
}

void FormView::loaded(bool hasPictures) {
    if (!hasPictures)
        TimUnload->start();
    if (std::exchange(showWhenLoaded_, false))
        show();
}

void FormView::markGuide(GuideLabel label) {
    labels_.mark(label);
}

void FormView::paintGuide() {
    PaintGuide();
}

void FormView::setPaused(bool paused) {
    labels_.setPaused(paused);
}

void FormView::showGuide(bool shown) {
    labels_.setVisible(shown);
}

void FormView::setCaption(const QString& caption) {
    labels_.setCaption(caption);
    if (observer_)
        observer_->captionWritten(caption);
}

int FormView::guideHeightTwips() const {
    return labels_.guideHeightTwips();
}

QByteArray FormView::displayProfile() const {
    return platform::displayProfile(screen());
}

void FormView::hidePicture() {
    PicView->hide();
}

void FormView::showPicture(const DecodedPicture& picture, const PicturePlacement& placement,
                           const FrameParams& frame) {
    PicView->place(QRect(pixels(placement.left), pixels(placement.top), pixels(placement.width),
                         pixels(placement.height)),
                   screen_.devicePixelRatio);
    // The frame made with the picture is the one wanted until the view or the pan changes.
    if (!picture.frame.isNull() && picture.frameParams == frame)
        renderer_.adopt(picture.image, frame, picture.frame);
    PicView->setFrame(renderer_.render(picture.image, frame), screen_.devicePixelRatio);
    PicView->show();
}

void FormView::forgetFrames() {
    renderer_.clear();
}

void FormView::warn(const QString& text) {
    messages_.warning(this, QString::fromUtf8(app::kTitle), text);
    // The show goes on under the box. When the box goes, a window manager may hand the keyboard
    // to the settings window rather than to a full-screen window kept off the taskbar (openbox
    // does), and the next Esc would then end the program instead of the show.
    if (isVisible()) {
        platform::bringToFront(this);
        setFocus(Qt::ActiveWindowFocusReason);
    }
}

void FormView::hideViewer() {
    stopTimers();
    hide();
}

void FormView::closeViewer() {
    stopTimers();
    close();
}

void FormView::stopTimers() {
    TimInterval->stop();
    TimUnload->stop();
    showRunningChanged();
}

void FormView::showRunningChanged() {
    if (screenSaver_)
        screenSaver_->setInhibited(!steps_.closed() && !isHidden() && TimInterval->isActive());
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

void FormView::closeEvent(QCloseEvent* event) {
    steps_.abandon();
    stopTimers();
    event->accept();
}

} // namespace orlix
