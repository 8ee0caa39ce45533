#pragma once

#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>

namespace orlix {

namespace platform {
class TextCollator;
}

// The checks and bookkeeping of the Start command that need no window.

// The error set of one Start: a bit per input that is wrong.
enum InputError : int {
    kNoInputError = 0,
    kFolderError = 1,
    kIntervalError = 2,
};

// The interval in seconds typed into the interval box, or nothing when the text is not a whole
// number of 1 to 60 of at most two characters (spaces around it do not count; full-width digits
// and signs do).
std::optional<std::int16_t> IntervalFromText(const QString& text);

// The extension list handed to the scan. `items` is the extension box's list, whose first item
// stands for all the others; `selectedIndex` and `currentText` are the box's selection and text.
QString JoinExtensions(const QStringList& items, int selectedIndex, const QString& currentText);

// The path box keeps this many recent paths.
inline constexpr int kHistoryLimit = 32;

// Puts `path` at the top of `history`, most recent first, unless an entry already equals it in
// the collator's case-insensitive comparison; then nothing moves. The oldest entry falls off
// when the list is full. True when `path` was added.
bool RecordInHistory(QStringList& history, const QString& path,
                     const platform::TextCollator& collator);

} // namespace orlix
