#include "settings/FormSetting.h"

#include "core/AppIcon.h"
#include "core/AppInfo.h"
#include "core/Settings.h"
#include "platform/desktop/Desktop.h"
#include "platform/desktop/ScreenMetrics.h"
#include "platform/desktop/WindowHints.h"
#include "platform/desktop/WindowPlacement.h"
#include "platform/files/TextCollator.h"
#include "settings/DialogKeys.h"
#include "settings/PathDrop.h"
#include "settings/PathHistory.h"
#include "settings/ReportInputErrors.h"
#include "settings/StartRules.h"
#include "settings/TipText.h"
#include "settings/UriList.h"
#include "viewer/window/FormView.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace orlix {

namespace {

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
// pointer has to be set for the whole application and restored however the listing ends.
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
      collator_(std::make_unique<platform::TextCollator>()),
      controls_(FormSettingControls::makeIn(*this)) {
    if (!endProgram_)
        endProgram_ = [] { QCoreApplication::exit(0); };
    setObjectName(QStringLiteral("FormSetting"));
    setWindowIcon(appIcon());
    new PathDrop(*controls_.CmbPath,
                 [this](const QMimeData& data) { return CmbPath_OLEDragDrop(data); });
    new DialogKeys(*this, *controls_.CmdStart, *controls_.CmdExit);
    connect(controls_.CmdStart, &QPushButton::clicked, this, &FormSetting::CmdStart_Click);
    connect(controls_.CmdExit, &QPushButton::clicked, this, &FormSetting::CmdExit_Click);
    connect(controls_.CmbExt, &QComboBox::editTextChanged, this, &FormSetting::CmbExt_Change);
    Form_Load();
}

FormSetting::~FormSetting() = default;

void FormSetting::Form_Load() {
    const FormSettingControls& c = controls_;
    setWindowTitle(QString::fromUtf8(app::kTitle));
    c.CmbPath->setEditText(platform::executableFolder());
    setValue(c.ChkLoop, 0);
    setValue(c.ChkSubFld, 0);
    c.CmbExt->setCurrentIndex(0);
    c.CmbExt->setEditText(c.CmbExt->itemText(0));
    setValue(c.ChkRealSize, 0);
    c.TxtInterval->setText(QStringLiteral("1"));
    setValue(c.ChkAuto, 1);
    setValue(c.ChkGuide, 1);

    for (QObject* child : children()) {
        auto* control = qobject_cast<QWidget*>(child);
        if (control == nullptr)
            continue;
        const QString tip = GetTipText(*this, *control);
        if (!tip.isEmpty())
            control->setToolTip(tip);
    }

    platform::centreOnScreen(this, platform::primaryScreen().geometry);
    c.CmbPath->setFocus();
}

void FormSetting::CmbExt_Change() {
    QComboBox* box = controls_.CmbExt;
    const int index = box->currentIndex();
    const int count = box->count();
    // Qt keeps the last chosen index while the user types, so typed text that differs from
    // that item's text counts as no item selected.
    const bool typedOver =
        index >= 0 && index < count && box->currentText() != box->itemText(index);
    if (index == -1 || index > count - 1 || typedOver) {
        box->setCurrentIndex(0);
        box->setEditText(box->itemText(0));
    }
}

bool FormSetting::CmbPath_OLEDragDrop(const QMimeData& data) {
    const QString path = FirstDroppedPath(data);
    if (path.isEmpty())
        return false;
    controls_.CmbPath->setEditText(path);
    return true;
}

void FormSetting::CmdStart_Click() {
    const FormSettingControls& c = controls_;
    StartInputs inputs;
    inputs.path = c.CmbPath->currentText();
    inputs.loop = valueOf(c.ChkLoop);
    inputs.subFolder = valueOf(c.ChkSubFld);
    inputs.extensionItems = itemsOf(c.CmbExt);
    inputs.extensionIndex = c.CmbExt->currentIndex();
    inputs.extensionText = c.CmbExt->currentText();
    inputs.interval = c.TxtInterval->text();
    inputs.sort = valueOf(c.ChkSort);
    inputs.realSize = valueOf(c.ChkRealSize);
    inputs.autoAdvance = valueOf(c.ChkAuto);
    inputs.guide = valueOf(c.ChkGuide);
    StartChecks checks;
    {
        const BusyPointer busy;
        checks = TakeStartInputs(inputs, Settings);
    }
    c.CmbPath->setEditText(checks.path);

    ReportInputErrors(checks.errors, messages_, this);
    recordPathInHistory();
    if (checks.errors == kNoInputError)
        openViewer();
}

void FormSetting::recordPathInHistory() {
    QComboBox* box = controls_.CmbPath;
    const QString path = box->currentText();
    QStringList history = itemsOf(box);
    if (RecordInHistory(history, path, *collator_)) {
        box->clear();
        box->addItems(history);
        box->setEditText(path);
    }
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
    // Told once the viewer is gone with all it holds: `destroyed` comes while its widgets (the
    // picture on screen among them) are still to be deleted, so the hook waits for the events
    // after it.
    connect(
        viewer, &QObject::destroyed, this,
        [this] {
            if (showEnded_ && !unloaded_)
                showEnded_();
        },
        Qt::QueuedConnection);
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
    setValue(controls_.ChkRealSize, value);
}

void FormSetting::setGuideCheck(std::int16_t value) {
    setValue(controls_.ChkGuide, value);
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

} // namespace orlix
