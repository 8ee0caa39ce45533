#pragma once

#include <QImage>
#include <QList>
#include <QMargins>
#include <QRect>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>
#include <vector>

struct xcb_connection_t;

namespace orlix::test {

// A window as another client of the X server sees it.
struct XWindow {
    std::uint32_t id = 0;
    QString name; // the title: _NET_WM_NAME or WM_NAME
    QRect onRoot; // the window itself (without a window manager's frame), root coordinates
};

// The test's own connection to an X server, to look at what the program under test did there.
class XProbe {
public:
    explicit XProbe(const QString& display);
    ~XProbe();
    XProbe(const XProbe&) = delete;
    XProbe& operator=(const XProbe&) = delete;

    bool connected() const;
    xcb_connection_t* connection() const { return connection_; }
    QSize screenSize() const { return screenSize_; }
    std::uint32_t root() const { return root_; }
    // The atom of `name`, made if need be.
    std::uint32_t atom(const char* name) const;

    // The viewable windows that have a name, wherever they are in the tree (a window manager
    // reparents them into its frames).
    std::vector<XWindow> viewableWindows() const;
    // Whether the window is mapped (and so are its ancestors).
    bool viewable(std::uint32_t window) const;
    // The window's place on the root window (its client area, without a frame).
    QRect placeOnRoot(std::uint32_t window) const;

    // The names of the atoms in the window's _NET_WM_STATE.
    QStringList netWmState(std::uint32_t window) const;
    // _NET_FRAME_EXTENTS, as the window manager announces it; none without one.
    std::optional<QMargins> frameExtents(std::uint32_t window) const;
    // The windows the window manager manages (_NET_CLIENT_LIST); none without one.
    QList<std::uint32_t> managedWindows() const;
    // Whether a window manager announces itself on the root window (EWMH).
    bool windowManagerRunning() const;
    // Maps a window of its own and waits until the window manager manages it, then destroys
    // it: the manager is then past its start-up. openbox announces itself before it listens,
    // and a window mapped in between can wait in its queue until some other event wakes it,
    // so each poll touches a root property it watches.
    bool windowManagerServes(int timeoutMs) const;
    // Waits until the window manager has handled what reached the server before this call:
    // asks it for the frame extents of a window that is never mapped and waits for the answer.
    bool windowManagerCaughtUp(int timeoutMs) const;
    // The window that has the keyboard focus (0: none).
    std::uint32_t inputFocus() const;

    // The pointer's current image (XFixes): whether any of its pixels is not fully
    // transparent. Empty when the server cannot tell.
    std::optional<bool> pointerVisible() const;

    // What the screen shows in `area` (root coordinates), without the pointer.
    QImage grab(const QRect& area) const;

private:
    // A property of 32-bit items (atoms, windows, numbers), at most `count` of them; none when
    // it is unset or of another format.
    std::vector<std::uint32_t> values(std::uint32_t window, const char* property,
                                      std::uint32_t type, std::uint32_t count) const;
    QString name(std::uint32_t window) const;

    xcb_connection_t* connection_ = nullptr;
    std::uint32_t root_ = 0;
    QSize screenSize_;
};

} // namespace orlix::test
