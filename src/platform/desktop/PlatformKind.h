#pragma once

#include <QGuiApplication>
#include <QString>

namespace orlix::platform {

// The running Qt platform: "wayland", "wayland-egl" and the like all start the same way.
inline bool onWayland() {
    return QGuiApplication::platformName().startsWith(QLatin1String("wayland"),
                                                      Qt::CaseInsensitive);
}

inline bool onX11() {
    return QGuiApplication::platformName() == QLatin1String("xcb");
}

} // namespace orlix::platform
