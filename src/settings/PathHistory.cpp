#include "settings/PathHistory.h"

#include "platform/files/TextCollator.h"

namespace orlix {

bool RecordInHistory(QStringList& history, const QString& path,
                     const platform::TextCollator& collator) {
    for (const QString& entry : history) {
        if (collator.equalIgnoringCase(entry, path))
            return false;
    }
    if (history.size() >= kHistoryLimit)
        history.erase(history.begin() + (kHistoryLimit - 1), history.end());
    history.prepend(path);
    return true;
}

} // namespace orlix
