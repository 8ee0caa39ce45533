#include "settings/StartRules.h"

#include "catalogue/FileEntry.h"
#include "catalogue/ScanFolder.h"
#include "core/Settings.h"
#include "platform/files/NumberText.h"

namespace orlix {

namespace {

constexpr int kMaxIntervalLength = 2;
constexpr int kMinInterval = 1;
constexpr int kMaxInterval = 60;

} // namespace

StartChecks TakeStartInputs(const StartInputs& inputs, SettingsRecord& settings) {
    StartChecks checks;
    checks.path = platform::trimSpaces(inputs.path);
    if (FolderHasEntry(FileEntry{checks.path, kDirectoryBit}, kAnyEntryMask, QString()))
        settings.Path = checks.path;
    else
        checks.errors |= kFolderError;

    settings.Loop = inputs.loop;
    settings.SubFolder = inputs.subFolder;
    settings.ExtList =
        JoinExtensions(inputs.extensionItems, inputs.extensionIndex, inputs.extensionText);
    if (const std::optional<std::int16_t> interval = IntervalFromText(inputs.interval))
        settings.Interval = *interval;
    else
        checks.errors |= kIntervalError;
    settings.Sort = inputs.sort;
    settings.RealSize = inputs.realSize;
    settings.Auto = inputs.autoAdvance;
    settings.Guide = inputs.guide;
    return checks;
}

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

} // namespace orlix
