#include "XvfbDisplay.h"

namespace orlix::bench {

namespace {

constexpr int kStartWaitMs = 30000;

} // namespace

XvfbDisplay::~XvfbDisplay() {
    if (server_ && server_->state() != QProcess::NotRunning) {
        server_->terminate();
        if (!server_->waitForFinished(5000))
            server_->kill();
        server_->waitForFinished(5000);
    }
}

bool XvfbDisplay::start(QSize size) {
    server_ = std::make_unique<QProcess>();
    server_->setStandardErrorFile(QProcess::nullDevice()); // the server's own notes
    // -displayfd: the server takes the first free display number and writes it out once it
    // accepts clients, so that runs beside other servers never race for one.
    server_->start(QStringLiteral("Xvfb"),
                   {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-nolisten"),
                    QStringLiteral("tcp"), QStringLiteral("-screen"), QStringLiteral("0"),
                    QStringLiteral("%1x%2x24").arg(size.width()).arg(size.height())});
    if (!server_->waitForStarted(kStartWaitMs)) {
        error_ = QStringLiteral("Xvfb does not start: ") + server_->errorString();
        return false;
    }
    while (!server_->canReadLine() && server_->waitForReadyRead(kStartWaitMs)) {
    }
    const QByteArray number = server_->readLine().trimmed();
    if (number.isEmpty()) {
        error_ = QStringLiteral("Xvfb gave no display number");
        return false;
    }
    name_ = QStringLiteral(":") + QString::fromLatin1(number);
    return true;
}

QProcessEnvironment XvfbDisplay::environment() const {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DISPLAY"), name_);
    return environment;
}

} // namespace orlix::bench
