#pragma once

#include <QProcess>
#include <QSize>
#include <QString>
#include <QStringList>

#include <memory>

namespace orlix::test {

// A private Xvfb for one test program, optionally with the openbox window manager on it.
// Everything it starts is ended when it dies.
class XServer {
public:
    XServer() = default;
    ~XServer();
    XServer(const XServer&) = delete;
    XServer& operator=(const XServer&) = delete;

    // Starts Xvfb with one screen of `size` (24-bit colour) on a free display number.
    bool start(QSize size);
    // Starts openbox and waits until it manages the screen.
    bool startWindowManager();

    // ":<number>", once started.
    QString display() const { return display_; }
    // Why the last start failed.
    QString error() const { return error_; }

    // Runs xdotool on this server with `arguments`; true when it ended with status 0. Its
    // output (it warns about focus on servers without a window manager) is dropped.
    bool xdotool(const QStringList& arguments) const;

private:
    std::unique_ptr<QProcess> xvfb_;
    std::unique_ptr<QProcess> windowManager_;
    QString display_;
    QString error_;
};

// Ends `process` (terminate, then kill) and waits for it.
void endProcess(QProcess& process);

} // namespace orlix::test
