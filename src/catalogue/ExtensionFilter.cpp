#include "catalogue/ExtensionFilter.h"

#include "platform/TextCollator.h"

namespace orlix {

ExtensionFilter::ExtensionFilter(const QString& extList, const platform::TextCollator& collator)
    : collator_(collator) {
    if (extList.isEmpty())
        return;
    for (const QString& extension : extList.split(QLatin1Char('|'), Qt::KeepEmptyParts))
        suffixes_.push_back(Suffix{QLatin1Char('.') + extension, {}});
}

bool ExtensionFilter::passes(const QString& path) {
    if (suffixes_.empty())
        return true;
    for (Suffix& suffix : suffixes_) {
        const QString tail = path.right(suffix.dotted.size());
        auto known = suffix.answers.constFind(tail);
        if (known == suffix.answers.constEnd())
            known = suffix.answers.insert(tail, collator_.equalIgnoringCase(tail, suffix.dotted));
        if (known.value())
            return true;
    }
    return false;
}

} // namespace orlix
