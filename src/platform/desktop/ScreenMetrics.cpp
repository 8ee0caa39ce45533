#include "platform/desktop/ScreenMetrics.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

namespace orlix::platform {

namespace {

ScreenMetrics metricsOf(const QScreen* screen) {
    ScreenMetrics metrics;
    if (screen) {
        metrics.geometry = screen->geometry();
        metrics.devicePixelRatio = screen->devicePixelRatio();
    }
    return metrics;
}

} // namespace

ScreenMetrics screenOf(const QWidget* widget) {
    const QScreen* screen = widget ? widget->screen() : nullptr;
    return metricsOf(screen ? screen : QGuiApplication::primaryScreen());
}

ScreenMetrics primaryScreen() {
    return metricsOf(QGuiApplication::primaryScreen());
}

} // namespace orlix::platform
