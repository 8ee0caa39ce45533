#pragma once

#include "catalogue/FileEntry.h"

#include <QLocale>
#include <QStringList>

#include <ostream>

inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}

namespace orlix {
inline void PrintTo(const FileEntry& entry, std::ostream* out) {
    *out << '{' << entry.Path.toStdString() << ", " << entry.Attributes << '}';
}
} // namespace orlix

namespace orlix::test {

// Makes QLocale() answer `name` for as long as it lives (the collator takes QLocale()).
class ScopedDefaultLocale {
public:
    explicit ScopedDefaultLocale(const char* name) { QLocale::setDefault(QLocale(name)); }
    ~ScopedDefaultLocale() { QLocale::setDefault(saved_); }

private:
    QLocale saved_;
};

inline QStringList pathsOf(const EntryList& entries) {
    QStringList paths;
    for (const FileEntry& entry : entries)
        paths << entry.Path;
    return paths;
}

} // namespace orlix::test
