#include "Weston.h"

#include "ShotAreas.h"
#include "support/ChildProcess.h"
#include "support/XvfbServer.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QPainter>
#include <QProcessEnvironment>
#include <QTest>

namespace orlix::test {

namespace {
constexpr int kStartMs = 60000;
} // namespace

void Weston::withoutPointer(QImage& shot) {
    QPainter(&shot).fillRect(kPointerBox, QColor(kBackground));
}

Weston::Weston()
    : socket_(QStringLiteral("orlix-test-%1").arg(QCoreApplication::applicationPid())) {}

Weston::~Weston() {
    if (weston_)
        endProcess(*weston_);
}

bool Weston::start(const XvfbServer& server, QSize output) {
    const XProbe& probe = server.probe();
    if (!runtime_.isValid()) {
        error_ = QStringLiteral("no runtime folder");
        return false;
    }
    const QString config = runtime_.filePath(QStringLiteral("weston.ini"));
    QFile ini(config);
    if (!ini.open(QIODevice::WriteOnly))
        return false;
    // No on-screen keyboard either: weston would show one under every focused text box.
    ini.write(QStringLiteral("[core]\nidle-time=0\n[input-method]\npath=\n"
                             "[shell]\nbackground-color=0x%1\npanel-position=none\nlocking=false\n"
                             "animation=none\nclose-animation=none\nstartup-animation=none\n"
                             "focus-animation=none\n")
                  .arg(kBackground, 8, 16, QLatin1Char('0'))
                  .toLatin1());
    ini.close();

    weston_ = childProcess();
    QProcessEnvironment environment = server.environment();
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime_.path());
    environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
    weston_->setProcessEnvironment(environment);
    weston_->setStandardOutputFile(QProcess::nullDevice());
    weston_->setStandardErrorFile(runtime_.filePath(QStringLiteral("weston.log")));
    weston_->start(QStringLiteral("weston"),
                   {QStringLiteral("--backend=x11-backend.so"), QStringLiteral("--use-pixman"),
                    QStringLiteral("--socket=") + socket_, QStringLiteral("--config=") + config,
                    QStringLiteral("--width=%1").arg(output.width()),
                    QStringLiteral("--height=%1").arg(output.height())});
    if (!weston_->waitForStarted(10000)) {
        error_ = QStringLiteral("weston does not start: ") + weston_->errorString();
        return false;
    }
    const bool up = QTest::qWaitFor(
        [&] {
            if (weston_->state() != QProcess::Running)
                return true;
            for (const XWindow& window : probe.viewableWindows()) {
                if (window.name.startsWith(QLatin1String("Weston Compositor")) &&
                    window.onRoot.size() == output) {
                    xWindow_ = window.id;
                    output_ = window.onRoot;
                }
            }
            return xWindow_ != 0 && QFileInfo::exists(runtime_.filePath(socket_));
        },
        kStartMs);
    // Weston draws its own pointer wherever the X pointer last was in its window: into the
    // output's top-left corner with it, then out of the window, where it moves nothing.
    const QPoint outside = output_.bottomRight() + QPoint(8, 8);
    const bool shown =
        up &&
        server.xdotool({"mousemove", QString::number(output_.x()), QString::number(output_.y())}) &&
        server.xdotool({"mousemove", QString::number(outside.x()), QString::number(outside.y())}) &&
        QTest::qWaitFor(
            [&] {
                QImage desktop = probe.grab(output_);
                if (desktop.isNull())
                    return false;
                withoutPointer(desktop);
                return areaNot(desktop, kBackground).isEmpty();
            },
            kStartMs);
    if (!shown || weston_->state() != QProcess::Running) {
        QFile log(runtime_.filePath(QStringLiteral("weston.log")));
        log.open(QIODevice::ReadOnly);
        error_ = QStringLiteral("weston did not show its desktop: ") +
                 QString::fromLocal8Bit(log.readAll().right(2000));
        return false;
    }
    return true;
}

} // namespace orlix::test
