#include "app/FormSplash.h"

#include "app/LinkCursor.h"
#include "app/SplashPointer.h"
#include "core/AppIcon.h"
#include "platform/desktop/Desktop.h"
#include "platform/desktop/UiFont.h"
#include "platform/desktop/WindowPlacement.h"

#include <QCloseEvent>
#include <QEventLoop>
#include <QLabel>
#include <QMouseEvent>
#include <QStringList>

namespace orlix {

namespace {

using platform::kTwipsPerPixel;
using platform::twipsToPixels;

// The window's layout in twips.
constexpr int kWidthTwips = 4470;
constexpr int kHeightTwips = 1335;
const QRect kIconTwips(360, 360, 480, 480);
const QRect kAppVersionTwips(1200, 240, 3135, 255);
const QRect kCopyrightTwips(1200, 600, 3135, 255);
const QRect kUrlTwips(1200, 840, 3135, 375);

constexpr double kTextPoints = 9.0;
constexpr double kVersionPoints = 11.25;

// How long to wait for the window system to activate the shown window before placing the
// pointer anyway (X11 without a window manager never activates it).
constexpr int kActivateFallbackMilliseconds = 250;

const QColor kLinkHover(0, 0, 255);
const QColor kLinkPlain(0, 0, 0);

QRect twipsToPixelRect(const QRect& twips) {
    return QRect(twipsToPixels(twips.left()), twipsToPixels(twips.top()),
                 twipsToPixels(twips.width()), twipsToPixels(twips.height()));
}

QLabel* makeLabel(QWidget* parent, const QString& name, const QRect& twips) {
    auto* label = new QLabel(name, parent);
    label->setObjectName(name);
    label->setGeometry(twipsToPixelRect(twips));
    label->setTextFormat(Qt::PlainText); // the build's texts are shown as they stand
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    label->setFocusPolicy(Qt::NoFocus);
    return label;
}

} // namespace

SplashDesktop SplashDesktop::current() {
    return {platform::movePointer, platform::openAddress};
}

FormSplash::FormSplash(SplashTexts texts, platform::ScreenMetrics screen, SplashDesktop desktop,
                       QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint), texts_(std::move(texts)),
      screen_(screen), desktop_(std::move(desktop)), timWait_(new QTimer(this)) {
    setObjectName(QStringLiteral("FormSplash"));
    setWindowTitle(texts_.title);
    setFocusPolicy(Qt::NoFocus);
    setFont(platform::uiGothicFont(kTextPoints));

    QPalette white = palette();
    white.setColor(QPalette::Window, Qt::white);
    setPalette(white);
    setAutoFillBackground(true);

    const QSize size(twipsToPixels(kWidthTwips), twipsToPixels(kHeightTwips));
    setFixedSize(size);
    platform::centreOnScreen(this, screen_.geometry);

    // The icon gets no mouse tracking: a move over it is dropped and leaves the link as it is.
    imgIcon_ = makeLabel(this, QStringLiteral("ImgIcon"), kIconTwips);
    imgIcon_->setPixmap(appIconPixmap());
    imgIcon_->setAlignment(Qt::AlignCenter);

    labAppVersion_ = makeLabel(this, QStringLiteral("LabAppVersion"), kAppVersionTwips);
    labAppVersion_->setFont(platform::uiGothicFont(kVersionPoints));
    labCopyright_ = makeLabel(this, QStringLiteral("LabCopyright"), kCopyrightTwips);
    labUrl_ = makeLabel(this, QStringLiteral("LabUrl"), kUrlTwips);
    labUrl_->setCursor(linkCursor());

    // Every move without a button counts, so that the link's colour follows the pointer.
    setMouseTracking(true);
    for (QLabel* label : {labAppVersion_, labCopyright_, labUrl_}) {
        label->setMouseTracking(true);
        label->installEventFilter(this);
    }

    timWait_->setObjectName(QStringLiteral("TimWait"));
    timWait_->setSingleShot(true);
    connect(timWait_, &QTimer::timeout, this, &FormSplash::TimWait_Timer);
    activateFallback_.setSingleShot(true);
    activateFallback_.setInterval(kActivateFallbackMilliseconds);
    connect(&activateFallback_, &QTimer::timeout, this, &FormSplash::Form_Activate);

    Form_Load();
}

int FormSplash::showModal() {
    if (unloaded_)
        return 0;
    setWindowModality(Qt::ApplicationModal);
    show();
    QEventLoop loop;
    connect(this, &FormSplash::unloaded, &loop, &QEventLoop::quit);
    if (!unloaded_)
        loop.exec(QEventLoop::DialogExec);
    return 0;
}

void FormSplash::Form_Load() {
    labAppVersion_->setText(appVersionText(texts_));
    labCopyright_->setText(copyrightText(texts_));
    labUrl_->setText(urlText(texts_));
    timWait_->start(kWaitMilliseconds);
}

void FormSplash::Form_Activate() {
    // The window is activated once in its life; a later activation (after switching to
    // another program and back) must not pull the pointer away from the user again.
    if (activated_ || unloaded_)
        return;
    activated_ = true;
    activateFallback_.stop();

    const QRect window = geometry();
    const QRect link = labUrl_->geometry();
    const QPoint target =
        splashPointerPixel(QPointF(window.x() * kTwipsPerPixel, window.y() * kTwipsPerPixel),
                           QRectF(link.x() * kTwipsPerPixel, link.y() * kTwipsPerPixel,
                                  link.width() * kTwipsPerPixel, link.height() * kTwipsPerPixel),
                           kTwipsPerPixel, kTwipsPerPixel);
    // Where the pointer cannot be moved (Wayland) it stays put, and nothing is said.
    if (desktop_.movePointer)
        desktop_.movePointer(target);
}

void FormSplash::Form_MouseMove() {
    setLinkColour(kLinkPlain);
}

void FormSplash::LabAppVersion_MouseMove() {
    setLinkColour(kLinkPlain);
}

void FormSplash::LabCopyright_MouseMove() {
    setLinkColour(kLinkPlain);
}

void FormSplash::LabUrl_MouseMove() {
    setLinkColour(kLinkHover);
}

void FormSplash::LabUrl_Click() {
    // The address itself, not the label's text with its indent. Failures are not reported;
    // the window stays and its timer runs on.
    if (desktop_.openAddress)
        desktop_.openAddress(texts_.comments);
}

void FormSplash::TimWait_Timer() {
    if (unloaded_)
        return;
    unloading_ = true;
    activateFallback_.stop();
    close();
    unloading_ = false;
    unloaded_ = true;
    emit unloaded();
}

void FormSplash::setLinkColour(const QColor& colour) {
    QPalette palette = labUrl_->palette();
    palette.setColor(QPalette::WindowText, colour);
    labUrl_->setPalette(palette);
}

bool FormSplash::handleLinkButton(QEvent* event) {
    const auto* mouse = static_cast<QMouseEvent*>(event);
    if (mouse->button() != Qt::LeftButton)
        return true;
    if (event->type() == QEvent::MouseButtonPress) {
        linkPressed_ = true;
    } else if (event->type() == QEvent::MouseButtonRelease) {
        // A click is a press and a release on the link. A double click comes as press,
        // release, double click, release: one click, as a double click on a link should be.
        const bool click = linkPressed_ && labUrl_->rect().contains(mouse->position().toPoint());
        linkPressed_ = false;
        if (click)
            LabUrl_Click();
    }
    return true;
}

bool FormSplash::event(QEvent* event) {
    if (event->type() == QEvent::WindowActivate)
        Form_Activate();
    return QWidget::event(event);
}

bool FormSplash::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
    case QEvent::MouseMove:
        if (watched == labUrl_)
            LabUrl_MouseMove();
        else if (watched == labAppVersion_)
            LabAppVersion_MouseMove();
        else if (watched == labCopyright_)
            LabCopyright_MouseMove();
        else
            break;
        return true; // handled here; the window must not see it as a move over its background
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
        if (watched == labUrl_)
            return handleLinkButton(event);
        break;
    default:
        break;
    }
    return QWidget::eventFilter(watched, event);
}

void FormSplash::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (!activated_)
        activateFallback_.start();
}

void FormSplash::closeEvent(QCloseEvent* event) {
    // Only TimWait closes the splash.
    if (unloading_)
        event->accept();
    else
        event->ignore();
}

void FormSplash::mouseMoveEvent(QMouseEvent* event) {
    Form_MouseMove();
    event->accept();
}

} // namespace orlix
