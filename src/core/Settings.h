#pragma once

#include <QString>

#include <cstdint>

namespace orlix {

// The user's choices, handed from the settings window's Start command to the viewer.
// Switches hold a check box's value: 1 on, 0 off. Readers test them against 1, except Auto,
// which counts as on whenever it is not 0.
struct SettingsRecord {
    QString Path;
    std::int16_t Loop = 0;
    std::int16_t SubFolder = 0;
    QString ExtList;
    std::int16_t Interval = 0;
    std::int16_t RealSize = 0;
    std::int16_t Auto = 0;
    std::int16_t Guide = 0;
    std::int16_t Sort = 0;
};

// The one shared record; it lives as long as the program and is never saved.
extern SettingsRecord Settings;

} // namespace orlix
