#pragma once

#include <cstdint>

namespace orlix {

// The viewer's Home and Ctrl keys switch Settings.RealSize and Settings.Guide and set the
// matching check boxes of the settings window through this; FormSetting implements it.
class SettingsWindowLink {
public:
    virtual ~SettingsWindowLink() = default;
    virtual void setRealSizeCheck(std::int16_t value) = 0;
    virtual void setGuideCheck(std::int16_t value) = 0;
};

} // namespace orlix
