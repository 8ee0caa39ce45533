#include "catalogue/ExtensionFilter.h"

#include "platform/files/TextCollator.h"

#include <algorithm>

namespace orlix {

ExtensionFilter::ExtensionFilter(const QString& extList, const platform::TextCollator& collator)
    : collator_(collator) {
    if (extList.isEmpty())
        return;
    for (const QString& extension : extList.split(QLatin1Char('|'), Qt::KeepEmptyParts)) {
        const QString dotted = QLatin1Char('.') + extension;
        auto group = std::find_if(lengths_.begin(), lengths_.end(), [&dotted](const TailLength& g) {
            return g.length == dotted.size();
        });
        if (group == lengths_.end())
            group = lengths_.insert(lengths_.end(), TailLength{dotted.size(), {}, {}});
        group->dotted.push_back(dotted);
    }
}

bool ExtensionFilter::passes(QStringView path) {
    if (lengths_.empty())
        return true;
    for (TailLength& group : lengths_) {
        const QStringView tail = path.right(group.length);
        // Looked up in place; only a new tail is copied into the table.
        const QString inPlace = QString::fromRawData(tail.data(), tail.size());
        auto known = group.answers.constFind(inPlace);
        if (known == group.answers.constEnd())
            known = group.answers.insert(tail.toString(), answerFor(group, inPlace));
        if (known.value())
            return true;
    }
    return false;
}

bool ExtensionFilter::answerFor(const TailLength& group, const QString& tail) const {
    return std::any_of(group.dotted.begin(), group.dotted.end(), [&](const QString& dotted) {
        return collator_.equalIgnoringCase(tail, dotted);
    });
}

} // namespace orlix
