#include "settings/ReportInputErrors.h"

#include "core/AppInfo.h"
#include "platform/desktop/MessageService.h"
#include "settings/StartRules.h"

#include <QString>

namespace orlix {

void ReportInputErrors(int errors, platform::MessageService& messages, QWidget* parent) {
    const QString title = QString::fromUtf8(app::kTitle);
    if ((errors & kFolderError) != 0) {
        messages.warning(parent, title,
                         QStringLiteral("Pathで指定したドライブやフォルダ名に誤りがあるか、"
                                        "それらが使用できない状態です。"));
    }
    if ((errors & kIntervalError) != 0) {
        messages.warning(parent, title, QStringLiteral("Intervalで指定した値に誤りがあります。"));
    }
}

} // namespace orlix
