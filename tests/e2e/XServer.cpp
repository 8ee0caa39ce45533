#include "XServer.h"

#include "XProbe.h"

#include <QProcessEnvironment>
#include <QTest>

namespace orlix::test {

void endProcess(QProcess& process) {
    if (process.state() == QProcess::NotRunning)
        return;
    process.terminate();
    if (!process.waitForFinished(5000)) {
        process.kill();
        process.waitForFinished(5000);
    }
}

XServer::~XServer() {
    if (windowManager_)
        endProcess(*windowManager_);
    if (xvfb_)
        endProcess(*xvfb_);
}

bool XServer::start(QSize size) {
    xvfb_ = std::make_unique<QProcess>();
    xvfb_->setStandardErrorFile(QProcess::nullDevice()); // the server's own notes
    // -displayfd: the server takes the first free display number and writes it out, so
    // tests that run side by side never race for one.
    xvfb_->start(QStringLiteral("Xvfb"),
                 {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-nolisten"),
                  QStringLiteral("tcp"), QStringLiteral("-screen"), QStringLiteral("0"),
                  QStringLiteral("%1x%2x24").arg(size.width()).arg(size.height())});
    if (!xvfb_->waitForStarted(10000)) {
        error_ = QStringLiteral("Xvfb does not start: ") + xvfb_->errorString();
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
    return true;
}

bool XServer::startWindowManager() {
    windowManager_ = std::make_unique<QProcess>();
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DISPLAY"), display_);
    windowManager_->setProcessEnvironment(environment);
    windowManager_->setStandardOutputFile(QProcess::nullDevice());
    windowManager_->setStandardErrorFile(QProcess::nullDevice());
    windowManager_->start(QStringLiteral("openbox"), {QStringLiteral("--sm-disable")});
    if (!windowManager_->waitForStarted(10000)) {
        error_ = QStringLiteral("openbox does not start: ") + windowManager_->errorString();
        return false;
    }
    const XProbe probe(display_);
    if (!QTest::qWaitFor([&] { return probe.windowManagerRunning(); }, 30000)) {
        error_ = QStringLiteral("openbox did not take the screen");
        return false;
    }
    return true;
}

bool XServer::xdotool(const QStringList& arguments) const {
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DISPLAY"), display_);
    process.setProcessEnvironment(environment);
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
