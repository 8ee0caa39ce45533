#include "ScreenSaverInhibitorXServer.h"

#include <QStandardPaths>
#include <QTest>

#include <xcb/screensaver.h>
#include <xcb/xcb.h>

#include <csignal>
#include <cstdlib>
#include <sys/prctl.h>

namespace orlix::platform {
namespace {

struct SaverInfo {
    bool on = false;
    unsigned msUntil = 0;
};

SaverInfo querySaver(xcb_connection_t* connection) {
    SaverInfo info;
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root;
    xcb_screensaver_query_info_reply_t* reply = xcb_screensaver_query_info_reply(
        connection, xcb_screensaver_query_info(connection, root), nullptr);
    if (reply) {
        info.on = reply->state == XCB_SCREENSAVER_STATE_ON;
        info.msUntil = reply->ms_until_server;
        std::free(reply);
    }
    return info;
}

} // namespace

ScreenSaverInhibitorXServer::~ScreenSaverInhibitorXServer() {
    if (connection_)
        xcb_disconnect(connection_);
    if (xvfb_ && xvfb_->state() != QProcess::NotRunning) {
        xvfb_->terminate();
        if (!xvfb_->waitForFinished(3000)) {
            xvfb_->kill();
            xvfb_->waitForFinished(3000);
        }
    }
}

bool ScreenSaverInhibitorXServer::xvfbInstalled() {
    return !QStandardPaths::findExecutable(QStringLiteral("Xvfb")).isEmpty();
}

bool ScreenSaverInhibitorXServer::start(const QStringList& options) {
    xvfb_ = std::make_unique<QProcess>();
    // A test that crashes must not leave its server behind.
    xvfb_->setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
    xvfb_->setStandardErrorFile(QProcess::nullDevice()); // the server's own chatter
    // -displayfd: the server takes the first free display number and writes it out, so
    // parallel tests never race for one.
    xvfb_->start(QStringLiteral("Xvfb"),
                 QStringList{QStringLiteral("-displayfd"), QStringLiteral("1"),
                             QStringLiteral("-nolisten"), QStringLiteral("tcp"),
                             QStringLiteral("-screen"), QStringLiteral("0"),
                             QStringLiteral("320x240x24")} +
                     options);
    if (!xvfb_->waitForStarted(5000)) {
        error_ = QStringLiteral("Xvfb does not start: ") + xvfb_->errorString();
        return false;
    }
    while (!xvfb_->canReadLine() && xvfb_->waitForReadyRead(10000)) {
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

void ScreenSaverInhibitorXServer::setOneSecondTimeout() {
    xcb_set_screen_saver(connection_, 1, 0, XCB_BLANKING_PREFERRED, XCB_EXPOSURES_ALLOWED);
    xcb_force_screen_saver(connection_, XCB_SCREEN_SAVER_RESET);
    xcb_flush(connection_);
}

bool ScreenSaverInhibitorXServer::saverOn() const {
    return querySaver(connection_).on;
}

unsigned ScreenSaverInhibitorXServer::msUntilSaver() const {
    return querySaver(connection_).msUntil;
}

bool ScreenSaverInhibitorXServer::saverHeldPastItsTime(int graceMs) const {
    bool cameOn = false;
    const bool due = QTest::qWaitFor(
        [&] {
            const SaverInfo info = querySaver(connection_);
            cameOn = cameOn || info.on;
            return cameOn || info.msUntil == 0;
        },
        3000);
    if (!due || cameOn)
        return false;
    return !QTest::qWaitFor([&] { return saverOn(); }, graceMs);
}

} // namespace orlix::platform
