#include "settings/FormSettingControls.h"

#include "platform/desktop/ScreenMetrics.h"
#include "platform/desktop/UiFont.h"
#include "settings/SettingsLayout.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionButton>

#include <algorithm>

namespace orlix {

namespace {

QRect inPixels(const QRect& twips) {
    return QRect(platform::twipsToPixels(twips.left()), platform::twipsToPixels(twips.top()),
                 platform::twipsToPixels(twips.width()), platform::twipsToPixels(twips.height()));
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

// The room a check box leaves its caption beside the square.
int captionRoom(const QCheckBox* box) {
    QStyleOptionButton option;
    option.initFrom(box);
    const int indicator = box->style()->pixelMetric(QStyle::PM_IndicatorWidth, &option, box) +
                          box->style()->pixelMetric(QStyle::PM_CheckBoxLabelSpacing, &option, box);
    return box->width() - indicator - 2;
}

struct Fonts {
    QFont caption = platform::uiGothicFont(kCaptionFontPoints);
    QFont box = platform::uiGothicFont(kBoxFontPoints); // what is typed into the boxes
};

QWidget* make(const ControlPlace& place, const Fonts& fonts, QWidget& window) {
    const QString caption = QString::fromLatin1(place.caption);
    QWidget* widget = nullptr;
    switch (place.kind) {
    case ControlKind::Label:
        widget = new QLabel(caption, &window);
        widget->setFont(fonts.caption);
        break;
    case ControlKind::CheckBox:
        widget = new QCheckBox(caption, &window);
        widget->setFont(fonts.caption);
        // The square on the right: the boxes of each column then line up on the right edges
        // the layout gives them.
        widget->setLayoutDirection(Qt::RightToLeft);
        break;
    case ControlKind::ComboBox: {
        auto* box = new QComboBox(&window);
        box->setFont(fonts.box);
        box->setEditable(true);
        // Enter must not add the typed text to the list, and no text may be completed for
        // the user: the path history and the extension list are kept by the window alone.
        box->setInsertPolicy(QComboBox::NoInsert);
        box->setCompleter(nullptr);
        // A line edit would otherwise take dragged text.
        box->lineEdit()->setAcceptDrops(false);
        widget = box;
        break;
    }
    case ControlKind::LineEdit:
        widget = new QLineEdit(&window);
        widget->setFont(fonts.box);
        widget->setAcceptDrops(false);
        break;
    case ControlKind::Button: {
        auto* button = new QPushButton(caption, &window);
        button->setFont(fonts.caption);
        button->setAutoDefault(false);
        widget = button;
        break;
    }
    }
    widget->setObjectName(QString::fromLatin1(place.name));
    widget->setGeometry(inPixels(place.twips));
    if (auto* box = qobject_cast<QCheckBox*>(widget))
        fitCaption(box, caption, captionRoom(box));
    else if (place.kind == ControlKind::Label)
        fitCaption(widget, caption, widget->width() - 1);
    return widget;
}

template <typename Control> Control* named(const QWidget& window, const char* name) {
    return window.findChild<Control*>(QString::fromLatin1(name), Qt::FindDirectChildrenOnly);
}

} // namespace

FormSettingControls FormSettingControls::makeIn(QWidget& window) {
    window.setFixedSize(platform::twipsToPixels(kSettingsClientTwips.width()),
                        platform::twipsToPixels(kSettingsClientTwips.height()));
    const Fonts fonts;
    for (const ControlPlace& place : kSettingsControls)
        make(place, fonts, window);

    FormSettingControls controls;
    controls.LabPath = named<QLabel>(window, "LabPath");
    controls.CmbPath = named<QComboBox>(window, "CmbPath");
    controls.ChkLoop = named<QCheckBox>(window, "ChkLoop");
    controls.ChkSubFld = named<QCheckBox>(window, "ChkSubFld");
    controls.Label3 = named<QLabel>(window, "Label3");
    controls.CmbExt = named<QComboBox>(window, "CmbExt");
    controls.ChkSort = named<QCheckBox>(window, "ChkSort");
    controls.ChkRealSize = named<QCheckBox>(window, "ChkRealSize");
    controls.Label2 = named<QLabel>(window, "Label2");
    controls.TxtInterval = named<QLineEdit>(window, "TxtInterval");
    controls.ChkAuto = named<QCheckBox>(window, "ChkAuto");
    controls.ChkGuide = named<QCheckBox>(window, "ChkGuide");
    controls.CmdStart = named<QPushButton>(window, "CmdStart");
    controls.CmdExit = named<QPushButton>(window, "CmdExit");

    for (const char* item : kExtensionItems)
        controls.CmbExt->addItem(QString::fromLatin1(item));
    // The label of the interval box overlaps the box's left edge; the box must stay
    // clickable there.
    controls.TxtInterval->raise();
    QWidget* previous = nullptr;
    for (const char* name : kSettingsTabOrder) {
        QWidget* next = named<QWidget>(window, name);
        if (previous != nullptr)
            QWidget::setTabOrder(previous, next);
        previous = next;
    }
    return controls;
}

} // namespace orlix
