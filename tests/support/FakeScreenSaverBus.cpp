#include "support/FakeScreenSaverBus.h"

#include "support/ChildProcess.h"

#include <QFile>
#include <QTest>

namespace orlix::test {
namespace {

// A session bus that lets everyone own and call everything, and starts no services itself.
QByteArray busConfig(const QString& socketPath) {
    return R"(<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig><type>session</type><listen>unix:path=)" +
           socketPath.toLocal8Bit() + R"(</listen><auth>EXTERNAL</auth>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/><allow eavesdrop="true"/><allow own="*"/>
  </policy>
</busconfig>
)";
}

} // namespace

FakeScreenSaverBus::FakeScreenSaverBus() = default;

FakeScreenSaverBus::~FakeScreenSaverBus() {
    for (const QString& name : connections_)
        QDBusConnection::disconnectFromBus(name);
    if (service_)
        endProcess(*service_);
    if (daemon_)
        endProcess(*daemon_);
}

bool FakeScreenSaverBus::start() {
    const QString configPath = folder_.filePath(QStringLiteral("bus.conf"));
    QFile config(configPath);
    if (!folder_.isValid() || !config.open(QIODevice::WriteOnly) ||
        config.write(busConfig(folder_.filePath(QStringLiteral("bus")))) < 0) {
        error_ = QStringLiteral("cannot write the bus configuration");
        return false;
    }
    config.close();
    daemon_ = childProcess();
    // The daemon's remarks (it cannot raise its file limit without privileges, and so on)
    // are not the test's output; its error output is read only when it fails to start.
    daemon_->start(QStringLiteral("dbus-daemon"),
                   {QStringLiteral("--nofork"), QStringLiteral("--print-address"),
                    QStringLiteral("--config-file=") + configPath});
    if (!daemon_->waitForStarted(5000)) {
        error_ = QStringLiteral("dbus-daemon does not start (package dbus-daemon): ") +
                 daemon_->errorString();
        return false;
    }
    while (!daemon_->canReadLine() && daemon_->waitForReadyRead(5000)) {
    }
    address_ = QString::fromLocal8Bit(daemon_->readLine()).trimmed();
    if (address_.isEmpty()) {
        error_ = QStringLiteral("dbus-daemon printed no address: ") +
                 QString::fromLocal8Bit(daemon_->readAllStandardError());
        return false;
    }
    return true;
}

bool FakeScreenSaverBus::startService(const QStringList& options) {
    service_ = childProcess();
    service_->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    service_->start(QStringLiteral(FAKE_SCREENSAVER_PATH),
                    QStringList{QStringLiteral("--address"), address_} + options);
    if (!service_->waitForStarted(5000)) {
        error_ = QStringLiteral("the fake service does not start: ") + service_->errorString();
        return false;
    }
    while (!service_->canReadLine() && service_->waitForReadyRead(10000)) {
    }
    if (service_->readLine().trimmed() != "ready") {
        error_ = QStringLiteral("the fake service did not take the name (exit code %1)")
                     .arg(service_->exitCode());
        return false;
    }
    return true;
}

QDBusConnection FakeScreenSaverBus::connect(const QString& name) {
    connections_ << name;
    return QDBusConnection::connectToBus(
        address_.isEmpty() ? QStringLiteral("unix:path=") + folder_.filePath(QStringLiteral("bus"))
                           : address_,
        name);
}

const std::vector<ScreenSaverCall>& FakeScreenSaverBus::calls() {
    if (!service_)
        return calls_;
    unread_ += service_->readAllStandardOutput();
    qsizetype end = 0;
    while ((end = unread_.indexOf('\n')) >= 0) {
        const QStringList fields = QString::fromUtf8(unread_.left(end)).split(QLatin1Char('\t'));
        unread_.remove(0, end + 1);
        calls_.push_back({fields.value(0), fields.value(1), fields.value(2), fields.value(3),
                          fields.value(4).toUInt()});
    }
    return calls_;
}

bool FakeScreenSaverBus::waitForCalls(std::size_t count, int timeoutMs) {
    return QTest::qWaitFor([&] { return calls().size() >= count; }, timeoutMs);
}

} // namespace orlix::test
