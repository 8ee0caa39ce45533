#pragma once

#include <QProcess>
#include <QProcessEnvironment>
#include <QSize>
#include <QString>
#include <QStringList>

#include "support/XProbe.h"

#include <memory>

namespace orlix::test {

// A private Xvfb for one test or benchmark, with a connection of its own to it and, on request,
// the openbox window manager. Everything it starts is ended when it dies, and with the process
// that started it.
class XvfbServer {
public:
    XvfbServer() = default;
    ~XvfbServer();
    XvfbServer(const XvfbServer&) = delete;
    XvfbServer& operator=(const XvfbServer&) = delete;

    // Starts Xvfb with one 24-bit screen of `size` on a free display number, with `options`
    // added (e.g. "-extension", "MIT-SCREEN-SAVER" to leave that out), and connects to it.
    bool start(QSize size, const QStringList& options = {});
    // Starts openbox and waits until it manages the screen.
    bool startWindowManager();

    // ":<number>", once started.
    QString display() const { return display_; }
    // The server's process id, once started; 0 before.
    qint64 processId() const { return xvfb_ ? xvfb_->processId() : 0; }
    // Why the last start failed.
    QString error() const { return error_; }
    // The test's own connection to the server, once started.
    const XProbe& probe() const { return *probe_; }
    xcb_connection_t* connection() const { return probe_->connection(); }
    // The test's own environment, with DISPLAY naming this server.
    QProcessEnvironment environment() const;

    // Runs xdotool on this server with `arguments`; true when it ended with status 0. Its
    // output (it warns about focus on servers without a window manager) is dropped.
    bool xdotool(const QStringList& arguments) const;

private:
    std::unique_ptr<QProcess> xvfb_;
    std::unique_ptr<QProcess> windowManager_;
    std::unique_ptr<XProbe> probe_;
    QString display_;
    QString error_;
};

} // namespace orlix::test
