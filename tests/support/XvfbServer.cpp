#include "support/XvfbServer.h"

#include "support/ChildProcess.h"

#include <QTest>

namespace orlix::test {

XvfbServer::~XvfbServer() {
    probe_.reset();
    if (windowManager_)
        endProcess(*windowManager_);
    if (xvfb_)
        endProcess(*xvfb_);
}

bool XvfbServer::start(QSize size, const QStringList& options) {
    xvfb_ = childProcess();
    xvfb_->setStandardErrorFile(QProcess::nullDevice()); // the server's own notes
    // -displayfd: the server takes the first free display number and writes it out once it
    // accepts clients, so tests that run side by side never race for one.
    xvfb_->start(QStringLiteral("Xvfb"),
                 QStringList{QStringLiteral("-displayfd"), QStringLiteral("1"),
                             QStringLiteral("-nolisten"), QStringLiteral("tcp"),
                             QStringLiteral("-screen"), QStringLiteral("0"),
                             QStringLiteral("%1x%2x24").arg(size.width()).arg(size.height())} +
                     options);
    if (!xvfb_->waitForStarted(10000)) {
        error_ = QStringLiteral("Xvfb does not start (package xvfb): ") + xvfb_->errorString();
        return false;
    }
    while (!xvfb_->canReadLine() && xvfb_->waitForReadyRead(30000)) {
    }
    const QByteArray number = xvfb_->readLine().trimmed();
    if (number.isEmpty()) {
        error_ = QStringLiteral("Xvfb gave no display number");
        return false;
    }
    display_ = QStringLiteral(":") + QString::fromLatin1(number);
    probe_ = std::make_unique<XProbe>(display_);
    if (!probe_->connected()) {
        error_ = QStringLiteral("cannot connect to Xvfb on ") + display_;
        return false;
    }
    return true;
}

bool XvfbServer::startWindowManager() {
    windowManager_ = childProcess();
    windowManager_->setProcessEnvironment(environment());
    windowManager_->setStandardOutputFile(QProcess::nullDevice());
    windowManager_->setStandardErrorFile(QProcess::nullDevice());
    windowManager_->start(QStringLiteral("openbox"), {QStringLiteral("--sm-disable")});
    if (!windowManager_->waitForStarted(10000)) {
        error_ = QStringLiteral("openbox does not start: ") + windowManager_->errorString();
        return false;
    }
    if (!QTest::qWaitFor([this] { return probe_->windowManagerRunning(); }, 30000)) {
        error_ = QStringLiteral("openbox did not take the screen");
        return false;
    }
    if (!probe_->windowManagerServes(30000)) {
        error_ = QStringLiteral("openbox does not manage windows");
        return false;
    }
    return true;
}

QProcessEnvironment XvfbServer::environment() const {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DISPLAY"), display_);
    return environment;
}

bool XvfbServer::xdotool(const QStringList& arguments) const {
    QProcess process;
    process.setProcessEnvironment(environment());
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    process.start(QStringLiteral("xdotool"), arguments);
    if (!process.waitForFinished(30000)) {
        endProcess(process);
        return false;
    }
    return process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

} // namespace orlix::test
