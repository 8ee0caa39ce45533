#pragma once

#include <QByteArray>

#include <cstdint>
#include <optional>

namespace orlix::platform {

// The TCP port of the X server that `display` (DISPLAY's value, "[protocol/][host]:number
// [.screen]") names, as libxcb reads it: 6000 plus the display number when a host other than
// "unix" or a TCP protocol is given. Nothing for a local display or one that cannot be read.
std::optional<std::uint16_t> xDisplayTcpPort(const QByteArray& display);

} // namespace orlix::platform
