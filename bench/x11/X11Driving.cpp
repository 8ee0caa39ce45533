#include "X11Driving.h"

#include "ScreenWatch.h"
#include "support/XvfbServer.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QThread>

#include <cstdio>

namespace orlix::bench {

namespace {

constexpr int kWaitMs = 30000;
constexpr int kPollMs = 20;
constexpr int kTypedSettleMs = 500; // untimed: for the window and then the typed text to settle
// The settings window's controls in the order Tab visits them, from Path.
constexpr int kLoopTabs = 1;     // Path, Loop
constexpr int kIntervalTabs = 6; // Loop, SubFolder, Ext., Sort, RealSize, Interval

} // namespace

bool waitUntil(const std::function<bool()>& done) {
    for (int waited = 0; waited < kWaitMs; waited += kPollMs) {
        if (done())
            return true;
        QThread::msleep(kPollMs);
    }
    return false;
}

bool canRun(const char* program, std::initializer_list<const char*> tools) {
    for (const char* tool : tools) {
        if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty()) {
            std::printf("%s: skipped, %s is not installed\n", program, tool);
            return false;
        }
    }
    test::XvfbServer probe;
    if (!probe.start(QSize(640, 480))) {
        std::printf("%s: skipped, %s\n", program, qPrintable(probe.error()));
        return false;
    }
    return true;
}

QProcessEnvironment viewerEnvironment(const test::XvfbServer& display, const QString& home) {
    const QString runtime = QDir(home).filePath(QStringLiteral("runtime"));
    QDir(home).mkpath(QStringLiteral("runtime"));
    QFile::setPermissions(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QProcessEnvironment environment = display.environment();
    environment.insert(QStringLiteral("HOME"), home);
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime);
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
    environment.remove(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"));
    return environment;
}

QString loadAverages() {
    QFile file(QStringLiteral("/proc/loadavg"));
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("unknown");
    return QString::fromLatin1(file.readLine()).section(QLatin1Char(' '), 0, 2);
}

std::uint32_t settingsWindow(ScreenWatch& watch) {
    std::uint32_t window = 0;
    waitUntil([&] { return (window = watch.topLevelOfSize(kSettingsWindowSize)) != 0; });
    return window;
}

void typeSettings(const test::XvfbServer& display, ScreenWatch& watch, std::uint32_t window,
                  const ShowSettings& settings) {
    // Mapped is not yet ready for keys: the window takes them once Qt has shown it.
    QThread::msleep(kTypedSettleMs);
    watch.focus(window);
    display.xdotool({"key", "--clearmodifiers", "ctrl+a"});
    display.xdotool({"type", "--delay", "1", settings.folder});
    QStringList keys = {QStringLiteral("key")};
    int tabs = kIntervalTabs;
    if (settings.loop) {
        for (int i = 0; i < kLoopTabs; ++i)
            keys << QStringLiteral("Tab");
        keys << QStringLiteral("space");
        tabs -= kLoopTabs;
    }
    for (int i = 0; i < tabs; ++i)
        keys << QStringLiteral("Tab");
    keys << QStringLiteral("End") << QStringLiteral("BackSpace") << QStringLiteral("BackSpace");
    for (const QChar digit : QString::number(settings.intervalSeconds))
        keys << QString(digit);
    display.xdotool(keys);
    QThread::msleep(kTypedSettleMs);
}

} // namespace orlix::bench
