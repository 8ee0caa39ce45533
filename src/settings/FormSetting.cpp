#include "settings/FormSetting.h"

#include "catalogue/FileEntry.h"
#include "catalogue/ScanFolder.h"
#include "core/AppIcon.h"
#include "core/AppInfo.h"
#include "core/Settings.h"
#include "platform/desktop/Desktop.h"
#include "platform/desktop/ScreenMetrics.h"
#include "platform/desktop/UiFont.h"
#include "platform/desktop/WindowHints.h"
#include "platform/desktop/WindowPlacement.h"
#include "platform/files/NumberText.h"
#include "platform/files/TextCollator.h"
#include "settings/ReportInputErrors.h"
#include "settings/StartRules.h"
#include "settings/TipText.h"
#include "settings/UriList.h"
#include "viewer/window/FormView.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDropEvent>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionButton>

#include <algorithm>

namespace orlix {

namespace {

// The window was designed in twips; every rectangle below is (left, top, width, height).
constexpr int kClientWidthTwips = 5670;
constexpr int kClientHeightTwips = 2040;
constexpr qreal kBoxFontPoints = 9.0;
constexpr qreal kCaptionFontPoints = 9.75;

void place(QWidget* widget, int left, int top, int width, int height) {
    widget->setGeometry(platform::twipsToPixels(left), platform::twipsToPixels(top),
                        platform::twipsToPixels(width), platform::twipsToPixels(height));
}

// The substitute fonts are wider than the one the window was laid out for; a caption that
// would be clipped is narrowed just enough to fit its control.
void fitCaption(QWidget* widget, const QString& caption, int room) {
    QFont font = widget->font();
    const int needed = QFontMetrics(font).horizontalAdvance(caption);
    if (needed <= room || needed == 0)
        return;
    constexpr int kNarrowestStretch = 70;
    font.setStretch(std::max(kNarrowestStretch, room * 100 / needed));
    widget->setFont(font);
}

std::int16_t valueOf(const QCheckBox* box) {
    return box->isChecked() ? 1 : 0;
}

void setValue(QCheckBox* box, std::int16_t value) {
    box->setChecked(value != 0);
}

QStringList itemsOf(const QComboBox* box) {
    QStringList items;
    for (int i = 0; i < box->count(); ++i)
        items.append(box->itemText(i));
    return items;
}

// The busy pointer while the folder is listed; the listing blocks the event loop, so the
// pointer has to be set for the whole application and restored however the test ends.
class BusyPointer {
public:
    BusyPointer() { QGuiApplication::setOverrideCursor(Qt::WaitCursor); }
    ~BusyPointer() { QGuiApplication::restoreOverrideCursor(); }
    BusyPointer(const BusyPointer&) = delete;
    BusyPointer& operator=(const BusyPointer&) = delete;
};

} // namespace

FormSetting::FormSetting(platform::MessageService& messages, std::function<void()> endProgram,
                         platform::ScreenSaverInhibitor* screenSaver, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                          Qt::MSWindowsFixedSizeDialogHint),
      messages_(messages), endProgram_(std::move(endProgram)), screenSaver_(screenSaver),
      collator_(std::make_unique<platform::TextCollator>()) {
    if (!endProgram_)
        endProgram_ = [] { QCoreApplication::exit(0); };
    setObjectName(QStringLiteral("FormSetting"));
    createControls();
    Form_Load();
}

FormSetting::~FormSetting() = default;

void FormSetting::createControls() {
    setFixedSize(platform::twipsToPixels(kClientWidthTwips),
                 platform::twipsToPixels(kClientHeightTwips));
    setWindowIcon(appIcon());

    const QFont boxFont = platform::uiGothicFont(kBoxFontPoints);
    const QFont captionFont = platform::uiGothicFont(kCaptionFontPoints);

    auto label = [&](const char* name, const QString& caption) {
        auto* widget = new QLabel(caption, this);
        widget->setObjectName(QString::fromLatin1(name));
        widget->setFont(captionFont);
        return widget;
    };
    auto checkBox = [&](const char* name, const QString& caption) {
        auto* widget = new QCheckBox(caption, this);
        widget->setObjectName(QString::fromLatin1(name));
        widget->setFont(captionFont);
        // The square on the right: the boxes of each column then line up on the right edges
        // the layout gives them.
        widget->setLayoutDirection(Qt::RightToLeft);
        return widget;
    };
    auto comboBox = [&](const char* name) {
        auto* widget = new QComboBox(this);
        widget->setObjectName(QString::fromLatin1(name));
        widget->setFont(boxFont);
        widget->setEditable(true);
        // Enter must not add the typed text to the list, and no text may be completed for
        // the user: the path history and the extension list are kept by this window alone.
        widget->setInsertPolicy(QComboBox::NoInsert);
        widget->setCompleter(nullptr);
        return widget;
    };
    auto button = [&](const char* name, const QString& caption) {
        auto* widget = new QPushButton(caption, this);
        widget->setObjectName(QString::fromLatin1(name));
        widget->setFont(captionFont);
        widget->setAutoDefault(false);
        return widget;
    };

    LabPath = label("LabPath", QStringLiteral("Path"));
    place(LabPath, 180, 240, 495, 255);
    CmbPath = comboBox("CmbPath");
    place(CmbPath, 660, 180, 4875, 300);
    ChkLoop = checkBox("ChkLoop", QStringLiteral("Loop"));
    place(ChkLoop, 120, 720, 735, 255);
    ChkSubFld = checkBox("ChkSubFld", QStringLiteral("SubFolder"));
    place(ChkSubFld, 1740, 720, 1155, 255);
    Label3 = label("Label3", QStringLiteral("Ext."));
    place(Label3, 4020, 780, 375, 255);
    CmbExt = comboBox("CmbExt");
    place(CmbExt, 4440, 720, 1095, 300);
    CmbExt->addItems({QStringLiteral("*(All)"), QStringLiteral("bmp"), QStringLiteral("jpg"),
                      QStringLiteral("gif")});
    ChkSort = checkBox("ChkSort", QStringLiteral("Sort"));
    place(ChkSort, 120, 1140, 735, 255);
    ChkRealSize = checkBox("ChkRealSize", QStringLiteral("RealSize"));
    place(ChkRealSize, 1860, 1140, 1035, 255);
    Label2 = label("Label2", QStringLiteral("Interval (1-60sec.)"));
    place(Label2, 3540, 1200, 1635, 255);
    TxtInterval = new QLineEdit(this);
    TxtInterval->setObjectName(QStringLiteral("TxtInterval"));
    TxtInterval->setFont(boxFont);
    place(TxtInterval, 5160, 1140, 375, 300);
    ChkAuto = checkBox("ChkAuto", QStringLiteral("Auto"));
    place(ChkAuto, 120, 1560, 735, 255);
    ChkGuide = checkBox("ChkGuide", QStringLiteral("DisplayGuide"));
    place(ChkGuide, 1500, 1560, 1395, 255);
    CmdStart = button("CmdStart", QStringLiteral("Start"));
    place(CmdStart, 3360, 1560, 975, 375);
    // Drawn as the default button; Enter reaches it through handleKey(), not through Qt's
    // default-button machinery, which only dialogs have.
    CmdStart->setDefault(true);
    CmdExit = button("CmdExit", QStringLiteral("Exit"));
    place(CmdExit, 4560, 1560, 975, 375);

    for (QCheckBox* box : {ChkLoop, ChkSubFld, ChkSort, ChkRealSize, ChkAuto, ChkGuide}) {
        QStyleOptionButton option;
        option.initFrom(box);
        const int indicator =
            box->style()->pixelMetric(QStyle::PM_IndicatorWidth, &option, box) +
            box->style()->pixelMetric(QStyle::PM_CheckBoxLabelSpacing, &option, box);
        fitCaption(box, box->text(), box->width() - indicator - 2);
    }
    for (QLabel* caption : {LabPath, Label3, Label2})
        fitCaption(caption, caption->text(), caption->width() - 1);

    // The label of the interval box overlaps the box's left edge in the design; the box
    // must stay clickable there.
    TxtInterval->raise();

    const QList<QWidget*> focusOrder = {CmbPath,  ChkLoop,     ChkSubFld,   CmbExt,
                                        ChkSort,  ChkRealSize, TxtInterval, ChkAuto,
                                        ChkGuide, CmdStart,    CmdExit};
    for (qsizetype i = 1; i < focusOrder.size(); ++i)
        setTabOrder(focusOrder.at(i - 1), focusOrder.at(i));

    // Only the path box takes drops; the line edits would otherwise accept dragged text.
    CmbPath->setAcceptDrops(true);
    CmbPath->lineEdit()->setAcceptDrops(true);
    CmbExt->setAcceptDrops(false);
    CmbExt->lineEdit()->setAcceptDrops(false);
    TxtInterval->setAcceptDrops(false);

    connect(CmdStart, &QPushButton::clicked, this, &FormSetting::CmdStart_Click);
    connect(CmdExit, &QPushButton::clicked, this, &FormSetting::CmdExit_Click);
    connect(CmbExt, &QComboBox::editTextChanged, this, &FormSetting::CmbExt_Change);

    // Enter and Esc reach whichever control has the focus first; they are taken there.
    installEventFilter(this);
    for (QWidget* child : findChildren<QWidget*>()) {
        if (child->window() == this)
            child->installEventFilter(this);
    }
}

void FormSetting::Form_Load() {
    setWindowTitle(QString::fromUtf8(app::kTitle));
    CmbPath->setEditText(platform::executableFolder());
    setValue(ChkLoop, 0);
    setValue(ChkSubFld, 0);
    CmbExt->setCurrentIndex(0);
    CmbExt->setEditText(CmbExt->itemText(0));
    setValue(ChkRealSize, 0);
    TxtInterval->setText(QStringLiteral("1"));
    setValue(ChkAuto, 1);
    setValue(ChkGuide, 1);

    for (QObject* child : children()) {
        auto* control = qobject_cast<QWidget*>(child);
        if (control == nullptr)
            continue;
        const QString tip = GetTipText(*this, *control);
        if (!tip.isEmpty())
            control->setToolTip(tip);
    }

    platform::centreOnScreen(this, platform::primaryScreen().geometry);
    CmbPath->setFocus();
}

void FormSetting::CmbExt_Change() {
    const int index = CmbExt->currentIndex();
    const int count = CmbExt->count();
    // Qt keeps the last chosen index while the user types, so typed text that differs from
    // that item's text counts as no item selected.
    const bool typedOver =
        index >= 0 && index < count && CmbExt->currentText() != CmbExt->itemText(index);
    if (index == -1 || index > count - 1 || typedOver) {
        CmbExt->setCurrentIndex(0);
        CmbExt->setEditText(CmbExt->itemText(0));
    }
}

bool FormSetting::CmbPath_OLEDragDrop(const QMimeData& data) {
    const QString path = FirstDroppedPath(data);
    if (path.isEmpty())
        return false;
    CmbPath->setEditText(path);
    return true;
}

void FormSetting::CmdStart_Click() {
    int errors = kNoInputError;
    {
        const BusyPointer busy;
        const QString path = platform::trimSpaces(CmbPath->currentText());
        CmbPath->setEditText(path);
        if (FolderHasEntry(FileEntry{path, kDirectoryBit}, kAnyEntryMask, QString()))
            Settings.Path = path;
        else
            errors |= kFolderError;
    }

    Settings.Loop = valueOf(ChkLoop);
    Settings.SubFolder = valueOf(ChkSubFld);
    Settings.ExtList =
        JoinExtensions(itemsOf(CmbExt), CmbExt->currentIndex(), CmbExt->currentText());
    if (const std::optional<std::int16_t> interval = IntervalFromText(TxtInterval->text()))
        Settings.Interval = *interval;
    else
        errors |= kIntervalError;
    Settings.Sort = valueOf(ChkSort);
    Settings.RealSize = valueOf(ChkRealSize);
    Settings.Auto = valueOf(ChkAuto);
    Settings.Guide = valueOf(ChkGuide);

    ReportInputErrors(errors, messages_, this);

    const QString path = CmbPath->currentText();
    QStringList history = itemsOf(CmbPath);
    if (RecordInHistory(history, path, *collator_)) {
        CmbPath->clear();
        CmbPath->addItems(history);
        CmbPath->setEditText(path);
    }

    if (errors == kNoInputError)
        openViewer();
}

void FormSetting::openViewer() {
    if (viewer_) {
        viewer_->show();
        platform::bringToFront(viewer_);
        return;
    }
    const platform::ScreenMetrics screen = platform::screenOf(this);
    if (showStarting_)
        showStarting_(screen);
    auto* viewer = new FormView(screen, messages_, this, nullptr, decoder_, screenSaver_);
    viewer_ = viewer;
    // Gone, the viewer has let go of its pictures and its decoding thread has ended.
    connect(viewer, &QObject::destroyed, this, [this] {
        if (showEnded_ && !unloaded_)
            showEnded_();
    });
    viewer->Form_Load();
    // The folders are listed off the GUI thread: the viewer comes up once they have been.
    if (viewer_)
        viewer_->show();
}

FormView* FormSetting::viewer() const {
    return viewer_.data();
}

void FormSetting::CmdExit_Click() {
    close();
}

void FormSetting::setRealSizeCheck(std::int16_t value) {
    setValue(ChkRealSize, value);
}

void FormSetting::setGuideCheck(std::int16_t value) {
    setValue(ChkGuide, value);
}

void FormSetting::closeEvent(QCloseEvent* event) {
    event->accept();
    if (!unloaded_)
        Form_Unload();
}

void FormSetting::Form_Unload() {
    unloaded_ = true;
    // Every other window vanishes without running its own closing steps. They are hidden at
    // once but deleted only later: this may run inside an event loop nested in the viewer's
    // own code, which must not lose its object under its feet.
    if (viewer_) {
        viewer_->hide();
        viewer_->deleteLater();
    }
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (window != this && window->isVisible())
            window->hide();
    }
    endProgram_();
}

bool FormSetting::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
    case QEvent::KeyPress:
        return handleKey(watched, static_cast<QKeyEvent*>(event));
    case QEvent::DragEnter:
    case QEvent::DragMove:
    case QEvent::Drop:
        if (watched == CmbPath || watched == CmbPath->lineEdit())
            return handleDrag(event);
        return false;
    default:
        return false;
    }
}

bool FormSetting::handleKey(QObject* receiver, QKeyEvent* key) {
    switch (key->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        // As in a dialog: a focused button is the one Enter presses, Start otherwise. Key
        // presses go to the focused control, so the receiver is the one that has the focus.
        if (receiver == CmdExit)
            CmdExit->click();
        else
            CmdStart->click();
        return true;
    case Qt::Key_Escape:
        CmdExit->click();
        return true;
    default:
        return false;
    }
}

bool FormSetting::handleDrag(QEvent* event) {
    auto* drag = static_cast<QDropEvent*>(event);
    const QMimeData* data = drag->mimeData();
    if (event->type() == QEvent::Drop) {
        if (data != nullptr && CmbPath_OLEDragDrop(*data))
            drag->acceptProposedAction();
        else
            drag->ignore();
        return true;
    }
    // Only a file list is welcome; dragged text is refused rather than typed into the box.
    if (data != nullptr && !FirstDroppedPath(*data).isEmpty())
        drag->acceptProposedAction();
    else
        drag->ignore();
    return true;
}

} // namespace orlix
