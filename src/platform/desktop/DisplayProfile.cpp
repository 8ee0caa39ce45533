#include "platform/desktop/DisplayProfile.h"

#include "platform/desktop/PlatformKind.h"
#include "platform/desktop/X11DisplayProfiles.h"

#include <QAbstractNativeEventFilter>
#include <QGuiApplication>
#include <QPointer>
#include <QScreen>

namespace orlix::platform {

namespace {

// The program's reader of the X server's display profiles, fed with the events that come on
// the toolkit's own connection. It belongs to the application object and ends with it, before
// the connection closes.
class ProfileWatcher : public QObject, public QAbstractNativeEventFilter {
public:
    explicit ProfileWatcher(xcb_connection_t* connection)
        : QObject(qGuiApp), profiles_(connection) {
        qGuiApp->installNativeEventFilter(this);
    }
    // As a child of the application object it goes when the object is already half gone:
    // qGuiApp is null by then, and the filter list goes with the application.
    ~ProfileWatcher() override {
        if (qGuiApp)
            qGuiApp->removeNativeEventFilter(this);
    }

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) override {
        if (eventType == "xcb_generic_event_t")
            profiles_.notice(static_cast<const xcb_generic_event_t*>(message));
        return false; // the toolkit sees every event as well
    }

    QByteArray profile(int index) { return profiles_.profile(index); }

private:
    X11DisplayProfiles profiles_;
};

ProfileWatcher* watcher() {
    static QPointer<ProfileWatcher> instance;
    if (!instance) {
        const auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
        if (x11 && x11->connection())
            instance = new ProfileWatcher(x11->connection());
    }
    return instance;
}

} // namespace

QByteArray displayProfile(const QScreen* screen) {
    // Elsewhere than on X11 the display is sRGB: on Wayland the compositor converts from it.
    if (!onX11())
        return {};
    ProfileWatcher* profiles = watcher();
    if (!profiles)
        return {};
    const int index = screen ? int(QGuiApplication::screens().indexOf(screen)) : 0;
    return profiles->profile(index < 0 ? 0 : index);
}

} // namespace orlix::platform
