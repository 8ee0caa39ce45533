#include "settings/StartRules.h"

#include "platform/files/NumberText.h"
#include "platform/files/TextCollator.h"

namespace orlix {

namespace {

constexpr int kMaxIntervalLength = 2;
constexpr int kMinInterval = 1;
constexpr int kMaxInterval = 60;

} // namespace

std::optional<std::int16_t> IntervalFromText(const QString& text) {
    const QString trimmed = platform::trimSpaces(text);
    if (trimmed.isEmpty() || trimmed.size() > kMaxIntervalLength)
        return std::nullopt;
    const std::optional<long long> value = platform::numericValue(trimmed);
    if (!value)
        return std::nullopt;
    // The number test may one day accept decimal or grouped forms; a point or a comma never
    // makes a valid interval.
    if (trimmed.contains(QLatin1Char('.')) || trimmed.contains(QLatin1Char(',')))
        return std::nullopt;
    if (*value < kMinInterval || *value > kMaxInterval)
        return std::nullopt;
    return static_cast<std::int16_t>(*value);
}

QString JoinExtensions(const QStringList& items, int selectedIndex, const QString& currentText) {
    if (selectedIndex != 0)
        return currentText;
    QString joined;
    for (qsizetype i = 1; i < items.size(); ++i) {
        if (items.at(i).isEmpty())
            continue;
        if (!joined.isEmpty())
            joined += QLatin1Char('|');
        joined += items.at(i);
    }
    return joined;
}

bool RecordInHistory(QStringList& history, const QString& path,
                     const platform::TextCollator& collator) {
    for (const QString& entry : history) {
        if (collator.equalIgnoringCase(entry, path))
            return false;
    }
    if (history.size() >= kHistoryLimit)
        history.erase(history.begin() + (kHistoryLimit - 1), history.end());
    history.prepend(path);
    return true;
}

} // namespace orlix
