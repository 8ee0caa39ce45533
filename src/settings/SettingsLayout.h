#pragma once

#include <QRect>
#include <QSize>
#include <QtGlobal>

namespace orlix {

// The settings window as it was designed: its controls, their places and their captions. Sizes
// are twips (ScreenMetrics.h); every rectangle is (left, top, width, height) in the client area.

enum class ControlKind { Label, CheckBox, ComboBox, LineEdit, Button };

struct ControlPlace {
    const char* name; // the control's object name: its tip is found by it (TipText.h)
    ControlKind kind;
    const char* caption; // empty for the boxes
    QRect twips;
};

inline constexpr QSize kSettingsClientTwips(5670, 2040);
inline constexpr qreal kBoxFontPoints = 9.0;
inline constexpr qreal kCaptionFontPoints = 9.75;

// In the order the controls are made, which is also the order they are stacked in. The label of
// the interval box overlaps the box's left edge.
inline constexpr ControlPlace kSettingsControls[] = {
    {"LabPath", ControlKind::Label, "Path", QRect(180, 240, 495, 255)},
    {"CmbPath", ControlKind::ComboBox, "", QRect(660, 180, 4875, 300)},
    {"ChkLoop", ControlKind::CheckBox, "Loop", QRect(120, 720, 735, 255)},
    {"ChkSubFld", ControlKind::CheckBox, "SubFolder", QRect(1740, 720, 1155, 255)},
    {"Label3", ControlKind::Label, "Ext.", QRect(4020, 780, 375, 255)},
    {"CmbExt", ControlKind::ComboBox, "", QRect(4440, 720, 1095, 300)},
    {"ChkSort", ControlKind::CheckBox, "Sort", QRect(120, 1140, 735, 255)},
    {"ChkRealSize", ControlKind::CheckBox, "RealSize", QRect(1860, 1140, 1035, 255)},
    {"Label2", ControlKind::Label, "Interval (1-60sec.)", QRect(3540, 1200, 1635, 255)},
    {"TxtInterval", ControlKind::LineEdit, "", QRect(5160, 1140, 375, 300)},
    {"ChkAuto", ControlKind::CheckBox, "Auto", QRect(120, 1560, 735, 255)},
    {"ChkGuide", ControlKind::CheckBox, "DisplayGuide", QRect(1500, 1560, 1395, 255)},
    {"CmdStart", ControlKind::Button, "Start", QRect(3360, 1560, 975, 375)},
    {"CmdExit", ControlKind::Button, "Exit", QRect(4560, 1560, 975, 375)},
};

// The order Tab moves the focus in: every control but the labels.
inline constexpr const char* kSettingsTabOrder[] = {
    "CmbPath",     "ChkLoop", "ChkSubFld", "CmbExt",   "ChkSort", "ChkRealSize",
    "TxtInterval", "ChkAuto", "ChkGuide",  "CmdStart", "CmdExit",
};

// The extension box's list; the first item stands for all the others.
inline constexpr const char* kExtensionItems[] = {"*(All)", "bmp", "jpg", "gif"};

} // namespace orlix
