#include "core/Settings.h"

namespace orlix {

SettingsRecord Settings;

} // namespace orlix
