#pragma once

#include <QDBusConnection>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>
#include <vector>

namespace orlix::test {

// One call the fake service received, in the order received.
struct ScreenSaverCall {
    QString method; // "Inhibit" or "UnInhibit"
    QString path;   // the object called
    QString application;
    QString reason;
    uint cookie = 0; // handed out by Inhibit, given back by UnInhibit
};

// A private session bus (its own dbus-daemon, listening in a temporary folder) with the fake
// org.freedesktop.ScreenSaver service (tests/support/FakeScreenSaver.cpp) as a separate
// process on it, so that every call really crosses the bus.
class FakeScreenSaverBus {
public:
    FakeScreenSaverBus();
    ~FakeScreenSaverBus();
    FakeScreenSaverBus(const FakeScreenSaverBus&) = delete;
    FakeScreenSaverBus& operator=(const FakeScreenSaverBus&) = delete;

    // Starts the bus; false (with the reason in error()) when it does not come up.
    bool start();
    // Starts the service on the bus with the fake's options (e.g. "--reply-delay-ms", "300").
    bool startService(const QStringList& options = {});
    QString error() const { return error_; }
    QString address() const { return address_; }

    // A connection of this test process to the bus, closed by the destructor; before start(),
    // to the place where nobody listens yet.
    QDBusConnection connect(const QString& name);

    // The calls the service has reported so far.
    const std::vector<ScreenSaverCall>& calls();
    // Waits, running the event loop, until the service has reported `count` calls.
    bool waitForCalls(std::size_t count, int timeoutMs = 1000);

private:
    QTemporaryDir folder_;
    std::unique_ptr<QProcess> daemon_;
    std::unique_ptr<QProcess> service_;
    QString address_;
    QString error_;
    QStringList connections_;
    QByteArray unread_;
    std::vector<ScreenSaverCall> calls_;
};

} // namespace orlix::test
