#pragma once

#include <QLocale>
#include <QString>
#include <QStringView>

#include <memory>
#include <string>

namespace orlix::platform {

// The platform's locale-aware text comparison that ignores letter case, for the user's locale.
// Qt's collator falls back to plain code-point order under the C locale, and its sort keys
// then keep case differences; this class folds case itself so that the order ignores case
// under every locale.
// One object must not be used on two threads at once; clone() gives another for a second
// thread.
class TextCollator {
public:
    TextCollator();
    explicit TextCollator(const QLocale& locale);
    ~TextCollator();
    TextCollator(const TextCollator&) = delete;
    TextCollator& operator=(const TextCollator&) = delete;

    // A collator for the same locale with state of its own.
    std::unique_ptr<TextCollator> clone() const;

    // Appends the sort key of `text` to `keys`. Keys compared as unsigned bytes (one that is
    // the start of another first, as std::string orders them) give the order of compare().
    // Kept as bytes so that a sort can hold all its keys in a few blocks.
    void appendSortKey(QStringView text, std::string& keys) const;

    // <0, 0 or >0.
    int compare(const QString& a, const QString& b) const;

    bool equalIgnoringCase(const QString& a, const QString& b) const { return compare(a, b) == 0; }

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

} // namespace orlix::platform
