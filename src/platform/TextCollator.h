#pragma once

#include <QCollatorSortKey>
#include <QString>

#include <memory>

namespace orlix::platform {

// The platform's locale-aware text comparison that ignores letter case, for the user's locale.
// Qt's collator falls back to plain code-point order under the C locale, and its sort keys
// then keep case differences; this class folds case itself so that the order ignores case
// under every locale.
class TextCollator {
public:
    TextCollator();
    ~TextCollator();
    TextCollator(const TextCollator&) = delete;
    TextCollator& operator=(const TextCollator&) = delete;

    // A key whose order (QCollatorSortKey::compare) is the comparison's order. Qt keeps the
    // key's bytes to itself, so the key is Qt's own type.
    // Taken by value: a temporary is case-folded in place.
    QCollatorSortKey sortKey(QString text) const;

    // <0, 0 or >0.
    int compare(const QString& a, const QString& b) const;

    bool equalIgnoringCase(const QString& a, const QString& b) const { return compare(a, b) == 0; }

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

} // namespace orlix::platform
