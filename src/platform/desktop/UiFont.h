#pragma once

#include <QFont>
#include <QString>

namespace orlix::platform {

// The Japanese user-interface font the windows are designed for, "MS UI Gothic", or the
// closest installed substitute: a proportional Gothic that covers Japanese first.
QString uiGothicFamily();

// That family at the given point size, normal weight.
QFont uiGothicFont(qreal pointSize);

} // namespace orlix::platform
