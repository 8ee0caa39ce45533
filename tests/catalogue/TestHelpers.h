#pragma once

#include "catalogue/FileEntry.h"
#include "catalogue/ProgressWindow.h"

#include <QColor>
#include <QLocale>
#include <QString>
#include <QStringList>

#include <ostream>
#include <vector>

// So that failing checks print paths and lists readably.
inline std::ostream& operator<<(std::ostream& out, const QString& text) {
    return out << text.toStdString();
}
inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text << '"';
}
inline void PrintTo(const QColor& colour, std::ostream* out) {
    *out << colour.name().toStdString();
}
inline void PrintTo(const QStringList& list, std::ostream* out) {
    *out << '[' << list.join(QStringLiteral(", ")) << ']';
}

namespace orlix {
inline void PrintTo(const FileEntry& entry, std::ostream* out) {
    *out << '{' << entry.Path << ", " << entry.Attributes << '}';
}
} // namespace orlix

namespace orlix::test {

// Makes QLocale() answer `locale` for as long as it lives (the collator takes QLocale()).
class ScopedDefaultLocale {
public:
    explicit ScopedDefaultLocale(const QLocale& locale) { QLocale::setDefault(locale); }
    ~ScopedDefaultLocale() { QLocale::setDefault(saved_); }
    ScopedDefaultLocale(const ScopedDefaultLocale&) = delete;
    ScopedDefaultLocale& operator=(const ScopedDefaultLocale&) = delete;

private:
    QLocale saved_;
};

// The locales the order is checked under: C (Qt's plain comparison) and two ICU locales.
inline std::vector<const char*> localesUnderTest() {
    return {"C", "en_US", "ja_JP"};
}

// A progress window that writes down what it is asked to do, one line a call.
class RecordingProgressWindow : public ProgressWindow {
public:
    explicit RecordingProgressWindow(int frameTwips = 5175) : frameTwips_(frameTwips) {}

    void setProgressText(const QString& text) override { calls << QStringLiteral("text ") + text; }
    void setProgressWidth(int twips) override {
        calls << QStringLiteral("width ") + QString::number(twips);
    }
    int frameWidth() const override { return frameTwips_; }
    void repaintNow() override { calls << QStringLiteral("repaint"); }

    QStringList calls;

private:
    int frameTwips_;
};

inline QStringList pathsOf(const EntryList& entries) {
    QStringList paths;
    for (const FileEntry& entry : entries)
        paths << entry.Path;
    return paths;
}

inline EntryList entriesOf(const QStringList& paths, std::int16_t attributes = 32) {
    EntryList entries;
    for (const QString& path : paths)
        entries.push_back(FileEntry{path, attributes});
    return entries;
}

} // namespace orlix::test
