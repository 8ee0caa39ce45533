#include "app/Settings.h"

namespace orlix {

SettingsRecord Settings;

} // namespace orlix
