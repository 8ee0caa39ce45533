#pragma once

#include <QString>
#include <QStringList>

namespace orlix {

namespace platform {
class TextCollator;
}

// The path box keeps this many recent paths.
inline constexpr int kHistoryLimit = 32;

// Puts `path` at the top of `history`, most recent first, unless an entry already equals it in
// the collator's case-insensitive comparison; then nothing moves. The oldest entry falls off
// when the list is full. True when `path` was added.
bool RecordInHistory(QStringList& history, const QString& path,
                     const platform::TextCollator& collator);

} // namespace orlix
