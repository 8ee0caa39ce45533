#include "support/XvfbServer.h"

#include "support/ChildProcess.h"

#include <QTest>

#include <xcb/xcb.h>

#include <cstdlib>

namespace orlix::test {

XvfbServer::~XvfbServer() {
    if (connection_)
        xcb_disconnect(connection_);
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
    connection_ = xcb_connect(display_.toLatin1().constData(), nullptr);
    if (xcb_connection_has_error(connection_)) {
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
    if (!QTest::qWaitFor([this] { return windowManagerRunning(); }, 30000)) {
        error_ = QStringLiteral("openbox did not take the screen");
        return false;
    }
    return true;
}

bool XvfbServer::windowManagerRunning() const {
    static constexpr char kCheck[] = "_NET_SUPPORTING_WM_CHECK";
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(connection_)).data->root;
    xcb_intern_atom_reply_t* atom = xcb_intern_atom_reply(
        connection_, xcb_intern_atom(connection_, 0, sizeof kCheck - 1, kCheck), nullptr);
    if (!atom)
        return false;
    xcb_get_property_reply_t* reply = xcb_get_property_reply(
        connection_, xcb_get_property(connection_, 0, root, atom->atom, XCB_ATOM_WINDOW, 0, 1),
        nullptr);
    const bool announced = reply && xcb_get_property_value_length(reply) == 4;
    std::free(reply); // xcb's replies are malloc'ed
    std::free(atom);
    return announced;
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
