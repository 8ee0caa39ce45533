#pragma once

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QWidget;

namespace orlix {

// The settings window's controls under the names the window was designed with.
struct FormSettingControls {
    QLabel* LabPath = nullptr;
    QComboBox* CmbPath = nullptr;
    QCheckBox* ChkLoop = nullptr;
    QCheckBox* ChkSubFld = nullptr;
    QLabel* Label3 = nullptr;
    QComboBox* CmbExt = nullptr;
    QCheckBox* ChkSort = nullptr;
    QCheckBox* ChkRealSize = nullptr;
    QLabel* Label2 = nullptr;
    QLineEdit* TxtInterval = nullptr;
    QCheckBox* ChkAuto = nullptr;
    QCheckBox* ChkGuide = nullptr;
    QPushButton* CmdStart = nullptr;
    QPushButton* CmdExit = nullptr;

    // Makes the controls of the layout table (SettingsLayout.h) in `window`, sized to its client
    // area: placed, in their fonts, captions narrowed where the font is too wide for them, in
    // Tab order. No box takes drops.
    static FormSettingControls makeIn(QWidget& window);
};

} // namespace orlix
