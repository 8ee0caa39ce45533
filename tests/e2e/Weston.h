#pragma once

#include <QColor>
#include <QImage>
#include <QProcess>
#include <QRect>
#include <QString>
#include <QTemporaryDir>

#include <cstdint>
#include <memory>

namespace orlix::test {

class XvfbServer;

// The weston compositor, nested in an X server through its X11 backend: one output in an X
// window at the root's top-left corner, a plain background, no panel, no animations, no
// on-screen keyboard, no screen locking. Wayland clients find it through the private runtime folder
// and socket.
class Weston {
public:
    static constexpr QRgb kBackground = 0xff204060;
    // Where weston's pointer stays, in output coordinates: its top-left corner.
    static constexpr QRect kPointerBox{0, 0, 32, 32};
    // Paints the pointer's place over with the background.
    static void withoutPointer(QImage& shot);

    Weston();
    ~Weston();
    Weston(const Weston&) = delete;
    Weston& operator=(const Weston&) = delete;

    // Starts weston on the X server, whose screen must be larger than `output`, and waits
    // until the output shows the empty desktop.
    bool start(const XvfbServer& server, QSize output);
    QString error() const { return error_; }

    // For the clients' environment: XDG_RUNTIME_DIR and WAYLAND_DISPLAY.
    QString runtimeDir() const { return runtime_.path(); }
    QString socket() const { return socket_; }
    // Where the output is on the X server, and the X window that shows it (keys go there).
    QRect output() const { return output_; }
    std::uint32_t xWindow() const { return xWindow_; }

private:
    QTemporaryDir runtime_;
    QString socket_;
    std::unique_ptr<QProcess> weston_;
    QRect output_;
    std::uint32_t xWindow_ = 0;
    QString error_;
};

} // namespace orlix::test
