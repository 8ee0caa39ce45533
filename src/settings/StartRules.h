#pragma once

#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>

namespace orlix {

struct SettingsRecord;

// The checks of the Start command, which need no window.

// The error set of one Start: a bit per input that is wrong.
enum InputError : int {
    kNoInputError = 0,
    kFolderError = 1,
    kIntervalError = 2,
};

// What the settings window's controls hold when Start is pressed. Switches hold a check box's
// value, as Settings does.
struct StartInputs {
    QString path;
    std::int16_t loop = 0;
    std::int16_t subFolder = 0;
    QStringList extensionItems; // the extension box's list
    int extensionIndex = 0;     // and its selection
    QString extensionText;      // and its text
    QString interval;
    std::int16_t sort = 0;
    std::int16_t realSize = 0;
    std::int16_t autoAdvance = 0;
    std::int16_t guide = 0;
};

struct StartChecks {
    int errors = kNoInputError; // InputError bits
    QString path;               // the path as the path box is to show it: spaces around it gone
};

// Checks `inputs` and takes them into `settings`: the path when it names a listable folder with
// something in it, the interval when IntervalFromText() takes it, the other seven always. Lists
// the folder, so it may take a while.
StartChecks TakeStartInputs(const StartInputs& inputs, SettingsRecord& settings);

// The interval in seconds typed into the interval box, or nothing when the text is not a whole
// number of 1 to 60 of at most two characters (spaces around it do not count; full-width digits
// and signs do).
std::optional<std::int16_t> IntervalFromText(const QString& text);

// The extension list handed to the scan. `items` is the extension box's list, whose first item
// stands for all the others; `selectedIndex` and `currentText` are the box's selection and text.
QString JoinExtensions(const QStringList& items, int selectedIndex, const QString& currentText);

} // namespace orlix
