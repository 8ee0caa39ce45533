#pragma once

#include <QHash>
#include <QString>
#include <QStringView>

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

    bool passes(QStringView path);

private:
    // The extensions of one length, each with its dot, and the answers so far by path tail.
    // A folder's names mostly end in a handful of spellings, and the locale-aware comparison
    // is far dearer than a lookup; "bmp|jpg|gif" needs one lookup a path.
    struct TailLength {
        qsizetype length = 0;
        std::vector<QString> dotted;
        QHash<QString, bool> answers;
    };

    bool answerFor(const TailLength& group, const QString& tail) const;

    const platform::TextCollator& collator_;
    std::vector<TailLength> lengths_;
};

} // namespace orlix
