#include "viewer/FormView.h"

#include "app/AppInfo.h"
#include "app/Settings.h"
#include "catalogue/FormWait.h"
#include "catalogue/ScanFolder.h"
#include "platform/MessageService.h"
#include "platform/NativePath.h"
#include "platform/UiFont.h"
#include "viewer/GuideColours.h"
#include "viewer/KeyMapping.h"
#include "viewer/PanRules.h"
#include "viewer/PictureBox.h"
#include "viewer/SettingsWindowLink.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QScopedValueRollback>
#include <QScreen>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <memory>

namespace orlix {

namespace {

using platform::kTwipsPerPixel;

// The Japanese user-interface font at 9 points; it has the four arrow glyphs of the guide.
QFont viewerFont() {
    return platform::uiGothicFont(9);
}

void setTextColour(QLabel* label, const QColor& colour) {
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, colour);
    label->setPalette(palette);
}

QColor textColour(const QLabel* label) {
    return label->palette().color(QPalette::WindowText);
}

int pixels(double twips) {
    return platform::twipsToPixels(twips);
}

// Two text lines of the caption label: the height it has on a 96-dpi screen, or more when
// the font's lines are taller.
constexpr int kFileNameHeight = 360;

} // namespace

FormView::FormView(const platform::ScreenMetrics& screen, platform::MessageService& messages,
                   SettingsWindowLink* settingsWindow, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint), screen_(screen), messages_(messages),
      settingsWindow_(settingsWindow), navigator_(state_, [this] { LoadFolderFiles(); }) {
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QString::fromUtf8(app::kTitle));
    setFont(viewerFont());
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, Qt::black);
    setPalette(palette);
    setAutoFillBackground(true);
    setFocusPolicy(Qt::StrongFocus);

    PicView = new PictureBox(this);
    PicView->hide();

    for (int i = 0; i < GuideLayout::kLabelCount; ++i) {
        LabGuide[i] = new QLabel(this);
        LabGuide[i]->setFocusPolicy(Qt::NoFocus);
        LabGuide[i]->setTextFormat(Qt::PlainText);
    }
    LabFileName = new QLabel(this);
    LabFileName->setFocusPolicy(Qt::NoFocus);
    LabFileName->setTextFormat(Qt::PlainText);
    LabFileName->setAlignment(Qt::AlignRight | Qt::AlignTop);

    TimInterval = new QTimer(this);
    TimUnload = new QTimer(this);
    connect(TimInterval, &QTimer::timeout, this, &FormView::TimInterval_Timer);
    connect(TimUnload, &QTimer::timeout, this, &FormView::TimUnload_Timer);
}

FormView::~FormView() = default;

void FormView::Form_Load() {
    const QScopedValueRollback<bool> busy(busy_, true);
    state_.folderIndex = -1;
    coverScreen();
    TimUnload->setInterval(1);
    TimUnload->stop();
    TimInterval->setInterval(0);
    TimInterval->stop();
    PicView->hide();
    layoutGuide();
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

void FormView::layoutGuide() {
    const bool guideOn = Settings.Guide == 1;
    std::array<GuideLayout::Measured, GuideLayout::kLabelCount> measured{};
    for (int i = 0; i < GuideLayout::kLabelCount; ++i) {
        QLabel* label = LabGuide[i];
        label->setVisible(guideOn);
        label->adjustSize(); // one empty text line
        measured[i].heightBefore = label->height() * kTwipsPerPixel;
        setTextColour(label, kGuideWhite);
        label->setText(GuideLayout::caption(i));
        label->adjustSize();
        measured[i].widthAfter = label->width() * kTwipsPerPixel;
    }
    const int lineHeight = measured[0].heightBefore;
    const int fileNameHeight = std::max(kFileNameHeight, 2 * lineHeight);
    const GuideLayout layout(scaleWidth(), scaleHeight(), measured, fileNameHeight);
    for (int i = 0; i < GuideLayout::kLabelCount; ++i)
        LabGuide[i]->move(pixels(layout.label(i).left), pixels(layout.label(i).top));

    LabFileName->hide();
    LabFileName->setGeometry(pixels(layout.fileNameLeft()), pixels(layout.fileNameTop()),
                             std::max(0, pixels(layout.fileNameWidth())), pixels(fileNameHeight));
    setTextColour(LabFileName, kGuideWhite);
    setCaption(QString());
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
    if (busy_ || closed_)
        return;
    const QScopedValueRollback<bool> busy(busy_, true);
    ++stepsRun_;

    const std::int32_t intervalMs = std::int32_t(Settings.Interval) * 1000;
    if (TimInterval->interval() != intervalMs)
        TimInterval->setInterval(intervalMs);

    if (state_.advance) {
        state_.offsetX = 0;
        state_.offsetY = 0;
        const auto outcome =
            navigator_.move(state_.lastKey, Settings.Loop == 1, Settings.Auto != 0);
        if (outcome != SlideNavigator::Outcome::Moved) {
            closeViewer();
            return;
        }
    }
    // Only while the viewer closes for want of pictures is there no current file.
    if (state_.lastFileIndex < 0 || state_.fileIndex < 0 ||
        state_.fileIndex >= static_cast<int>(state_.fileList.size()))
        return;

    const bool guideOn = Settings.Guide == 1;
    state_.viewHeight =
        computeViewHeight(scaleHeight(), LabGuide[0]->height() * kTwipsPerPixel, guideOn);
    PicView->hide();
    showGuide(guideOn);

    const QString path = state_.fileList[state_.fileIndex].Path;
    setCaption(path);
    if (state_.advance) {
        PictureLoader::Result loaded = loader_.load(path);
        renderer_.clear();
        if (loaded.error != LoadError::None) {
            // Nothing of the previous picture may be shown under this file's name.
            PicBak = QImage();
            if (isReported(loaded.error))
                messages_.warning(this, QString::fromUtf8(app::kTitle),
                                  failureMessage(loaded.error));
            return;
        }
        PicBak = std::move(loaded.image);
    }
    if (PicBak.isNull())
        return;

    const double twipsPerPicturePixel = kTwipsPerPixel / screen_.devicePixelRatio;
    const double bw = picBakWidth_ = PicBak.width() * twipsPerPicturePixel;
    const double bh = picBakHeight_ = PicBak.height() * twipsPerPicturePixel;
    placement_ = placePicture(scaleWidth(), state_.viewHeight, bw, bh);
    PicView->setGeometry(pixels(placement_.left), pixels(placement_.top), pixels(placement_.width),
                         pixels(placement_.height));

    const bool realSize = Settings.RealSize == 1;
    setCaption(pictureCaption(path, PicBak.width(), PicBak.height(),
                              scalePercent(realSize, placement_.width, bw)));
    paintPicture(bw <= scaleWidth() && bh <= state_.viewHeight);
    PicView->show();
}

void FormView::redraw() {
    if (busy_ || closed_)
        return;
    state_.advance = false;
    TimInterval_Timer();
    state_.advance = true;
}

void FormView::paintPicture(bool unscaled) {
    const double ratio = screen_.devicePixelRatio;
    const QSize deviceSize(static_cast<int>(std::lround(PicView->width() * ratio)),
                           static_cast<int>(std::lround(PicView->height() * ratio)));
    const QImage* frame = nullptr;
    if (Settings.RealSize == 1) {
        const QPoint origin(static_cast<int>(std::lround(state_.offsetX * ratio / kTwipsPerPixel)),
                            static_cast<int>(std::lround(state_.offsetY * ratio / kTwipsPerPixel)));
        frame = &renderer_.realSize(PicBak, origin, deviceSize);
    } else if (unscaled) {
        // A picture that fits is shown one picture pixel per device pixel, never resampled.
        frame = &renderer_.realSize(PicBak, QPoint(0, 0), deviceSize);
    } else {
        frame = &renderer_.fitted(PicBak, deviceSize);
    }
    PicView->setFrame(*frame, ratio);
}

void FormView::showGuide(bool visible) {
    LabFileName->setVisible(visible);
    for (QLabel* label : LabGuide)
        label->setVisible(visible);
}

void FormView::setCaption(const QString& caption) {
    caption_ = caption;
    // A label breaks lines at line feeds only; what is shown of a path is its readable form.
    QString shown = platform::forDisplay(caption);
    shown.replace(QChar(u'\r'), QChar(u'\n'));
    LabFileName->setText(shown);
}

void FormView::PaintGuide() {
    GuideTextColours current;
    for (int i = 0; i < static_cast<int>(current.size()); ++i)
        current[i] = textColour(LabGuide[i]);
    const GuideTextColours colours =
        repaintedGuide(current, Settings.RealSize, Settings.Guide, Settings.Auto, state_.lastKey);
    for (int i = 0; i < static_cast<int>(colours.size()); ++i)
        setTextColour(LabGuide[i], colours[i]);

    QLabel* autoLabel = LabGuide[GuideLayout::kAutoLabel];
    const AutoLabelLook look = autoLabelLook(Settings.Auto);
    QPalette palette = autoLabel->palette();
    palette.setColor(QPalette::Window, look.background);
    palette.setColor(QPalette::WindowText, look.text);
    autoLabel->setPalette(palette);
    autoLabel->setAutoFillBackground(look.opaque);
}

void FormView::Form_KeyDown(std::int16_t keyCode, std::int16_t shift) {
    if (busy_ || closed_)
        return;
    switch (keyCode) {
    case keycode::kEsc:
        mark(0);
        closeViewer();
        return;
    case keycode::kEnter:
        mark(1);
        if (TimInterval->isActive())
            TimInterval->stop();
        else
            TimInterval->start();
        setTextColour(LabFileName, TimInterval->isActive() ? kGuideWhite : kGuideGreen);
        break;
    case keycode::kUp:
    case keycode::kDown:
    case keycode::kLeft:
    case keycode::kRight:
        pause();
        if (shift & keycode::kShiftBit) {
            mark(directionLabel(keyCode) + 4); // the MoveUp .. MoveRight labels
            if (state_.folderIndex > -1) {
                pan(keyCode);
                state_.advance = false;
                TimInterval_Timer();
            }
        } else {
            state_.lastKey = keyCode;
            mark(directionLabel(keyCode));
            state_.advance = true;
            TimInterval_Timer();
            if (closed_)
                return;
            if (Settings.Auto == 0)
                resume();
        }
        break;
    case keycode::kHome:
        mark(10);
        Settings.RealSize = Settings.RealSize == 1 ? 0 : 1;
        if (settingsWindow_)
            settingsWindow_->setRealSizeCheck(Settings.RealSize);
        if (state_.folderIndex > -1) {
            state_.advance = false;
            TimInterval_Timer();
        }
        break;
    case keycode::kCtrl:
        Settings.Guide = Settings.Guide == 1 ? 0 : 1;
        if (settingsWindow_)
            settingsWindow_->setGuideCheck(Settings.Guide);
        if (Settings.Guide == 1)
            mark(11);
        if (state_.folderIndex > -1) {
            state_.advance = false;
            TimInterval_Timer();
        }
        break;
    default:
        break;
    }
    if (!closed_)
        state_.advance = true;
}

void FormView::Form_KeyUp(std::int16_t, std::int16_t) {
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

void FormView::mark(int label) {
    setTextColour(LabGuide.at(label), kGuideGreen);
}

void FormView::pause() {
    TimInterval->stop();
    setTextColour(LabFileName, kGuideGreen);
}

void FormView::resume() {
    TimInterval->start(); // a full interval begins
    setTextColour(LabFileName, kGuideWhite);
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

void FormView::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    activateWindow();
    setFocus(Qt::ActiveWindowFocusReason);
}

void FormView::TimUnload_Timer() {
    closeViewer();
}

void FormView::closeViewer() {
    if (closed_)
        return;
    closed_ = true;
    TimInterval->stop();
    TimUnload->stop();
    close();
}

void FormView::closeEvent(QCloseEvent* event) {
    closed_ = true;
    TimInterval->stop();
    TimUnload->stop();
    event->accept();
}

} // namespace orlix
