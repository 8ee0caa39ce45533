#pragma once

#include <QHash>
#include <QString>
#include <QStringList>

#include <vector>

namespace orlix {

namespace platform {
class TextCollator;
}

// The scan's extension test. `extList` holds extensions without dots joined by "|" (empty
// items kept); an empty list lets every path pass. A path passes when, for some extension e,
// its last (length of e + 1) characters equal "." followed by e in the case-insensitive
// comparison. The test reads the full path, so a folder named "trip.gif" passes "gif".
class ExtensionFilter {
public:
    ExtensionFilter(const QString& extList, const platform::TextCollator& collator);

    bool passes(const QString& path);

private:
    struct Suffix {
        QString dotted; // "." + extension
        // Answers by path tail: a folder's names mostly end in a handful of spellings, and
        // the locale-aware comparison is far dearer than a lookup.
        QHash<QString, bool> answers;
    };
    const platform::TextCollator& collator_;
    std::vector<Suffix> suffixes_;
};

} // namespace orlix
