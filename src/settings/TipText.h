#pragma once

#include <QString>

class QObject;

namespace orlix {

// The tooltip of one control of a window, found by the window's and the control's object
// names; empty when the control has none. Only the settings window ("FormSetting") has tips.
QString GetTipText(const QObject& window, const QObject& control);

// The same lookup by names.
QString GetTipText(const QString& windowName, const QString& controlName);

} // namespace orlix
