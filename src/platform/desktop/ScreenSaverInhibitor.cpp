#include "platform/desktop/ScreenSaverInhibitor.h"

#include "platform/desktop/ScreenSaverInhibitorDBus.h"
#include "platform/desktop/ScreenSaverInhibitorXcb.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QGuiApplication>
#include <QtGui/qtgui-config.h>

#include <sys/stat.h>
#include <unistd.h>

namespace orlix::platform {
namespace {

// Where the desktop offers no way: remembers what was asked and does nothing else.
class ScreenSaverNotInhibited final : public ScreenSaverInhibitor {
public:
    void setInhibited(bool inhibited) override { wanted_ = inhibited; }
    bool isInhibited() const override { return wanted_; }

private:
    bool wanted_ = false;
};

// Whether the session has a bus to ask. The D-Bus library finds it by the address in the
// environment or else by the per-user socket; without either it would try to launch a bus of
// its own ("autolaunch"), on which no desktop service could be.
bool sessionHasBus() {
    if (!qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS"))
        return true;
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    struct stat info {};
    return !runtime.isEmpty() && ::stat((runtime + "/bus").constData(), &info) == 0 &&
           S_ISSOCK(info.st_mode) && info.st_uid == ::getuid();
}

// Qt's own X connection, when the program runs on X11. Borrowing it, rather than opening one
// of our own, ties the suspension to the program's lifetime: the server ends it when the
// program's connection closes, however the program ends.
std::unique_ptr<ScreenSaverInhibitor> x11Inhibitor() {
#if QT_CONFIG(xcb)
    auto* application = qGuiApp;
    if (!application || QGuiApplication::platformName() != QLatin1String("xcb"))
        return nullptr;
    auto* x11 = application->nativeInterface<QNativeInterface::QX11Application>();
    if (!x11 || !x11->connection())
        return nullptr;
    return std::make_unique<ScreenSaverInhibitorXcb>(x11->connection(), application);
#else
    return nullptr;
#endif
}

} // namespace

std::unique_ptr<ScreenSaverInhibitor> makeDesktopScreenSaverInhibitor() {
    std::unique_ptr<ScreenSaverInhibitor> x11 = x11Inhibitor();
    // Qt warns about a session bus connected before the application object exists.
    if (QCoreApplication::instance() && sessionHasBus()) {
        const QDBusConnection bus = QDBusConnection::sessionBus();
        if (bus.isConnected())
            return std::make_unique<ScreenSaverInhibitorDBus>(bus, std::move(x11));
    }
    if (x11)
        return x11;
    return std::make_unique<ScreenSaverNotInhibited>();
}

void connectSessionBus() {
    if (QCoreApplication::instance() && sessionHasBus())
        QDBusConnection::sessionBus(); // connects on first use, and stays
}

} // namespace orlix::platform
