#pragma once

#include "platform/desktop/ScreenSaverInhibitor.h"

#include <QDBusConnection>
#include <QDBusPendingCall>
#include <QString>

#include <memory>
#include <optional>

class QDBusPendingCallWatcher;
class QObject;

namespace orlix::platform {

// Inhibits through the freedesktop org.freedesktop.ScreenSaver service (GNOME, KDE, Xfce and
// others, on X11 and on Wayland). All calls are asynchronous; the replies are handled by the
// event loop of the thread that made the object.
//
// When the service turns out not to be there (or not to answer), `fallback`, if any, takes
// over from then on. Only the destructor may block, briefly, so that the release reaches the
// service before the program ends.
class ScreenSaverInhibitorDBus final : public ScreenSaverInhibitor {
public:
    static constexpr char kService[] = "org.freedesktop.ScreenSaver";
    static constexpr char kInterface[] = "org.freedesktop.ScreenSaver";
    // Japanese, like everything the user may read: desktops list the reason in their
    // power and session settings.
    static constexpr char kReason[] = "スライドショーを表示しています";
    // How long an Inhibit may take before the service counts as absent.
    static constexpr int kInhibitTimeoutMs = 2000;
    // How long the destructor waits for its release to be acknowledged.
    static constexpr int kReleaseTimeoutMs = 500;

    explicit ScreenSaverInhibitorDBus(const QDBusConnection& connection,
                                      std::unique_ptr<ScreenSaverInhibitor> fallback = nullptr);
    ~ScreenSaverInhibitorDBus() override;

    void setInhibited(bool inhibited) override;
    bool isInhibited() const override { return wanted_; }

    // True once the service has failed and the fallback (or nothing) has taken over.
    bool handedOver() const { return handedOver_; }

private:
    QDBusMessage inhibitMessage() const;
    QDBusMessage uninhibitMessage(uint cookie) const;
    // Brings the service in line with what was asked last, unless an Inhibit is on its way.
    void update();
    void onInhibitFinished();
    void handOver();

    QDBusConnection connection_;
    std::unique_ptr<ScreenSaverInhibitor> fallback_;
    std::unique_ptr<QObject> context_;           // receives the replies; gone with this object
    QDBusPendingCallWatcher* pending_ = nullptr; // the Inhibit on its way, owned by context_
    std::optional<uint> cookie_;                 // the inhibition the service holds for us
    int pathIndex_ = 0;
    bool wanted_ = false;
    bool handedOver_ = false;
};

} // namespace orlix::platform
