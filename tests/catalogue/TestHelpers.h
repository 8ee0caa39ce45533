#pragma once

#include "catalogue/FileEntry.h"
#include "catalogue/ProgressWindow.h"

#include <QByteArrayList>
#include <QLocale>
#include <QStringList>

#include <dirent.h>
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

// Logs each progress update as "text width;" (";" is the repaint).
class RecordingProgressWindow : public ProgressWindow {
public:
    void setProgressText(const QString& text) override { log += text; }
    void setProgressWidth(int twips) override { log += ' ' + QString::number(twips); }
    int frameWidth() const override { return 5175; }
    void repaintNow() override { log += ';'; }
    QString log;
};

// The names readdir gives in `folder`, in its order, hidden names and the dots left out.
inline QByteArrayList listedNames(const QByteArray& folder) {
    QByteArrayList names;
    DIR* dir = ::opendir(folder.constData());
    while (const dirent* entry = ::readdir(dir))
        if (entry->d_name[0] != '.')
            names << entry->d_name;
    ::closedir(dir);
    return names;
}

inline QStringList pathsOf(const EntryList& entries) {
    QStringList paths;
    for (const FileEntry& entry : entries)
        paths << entry.Path;
    return paths;
}

} // namespace orlix::test
