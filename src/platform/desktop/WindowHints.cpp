#include "platform/desktop/WindowHints.h"

#include "platform/desktop/PlatformKind.h"

#include <QEvent>
#include <QGuiApplication>
#include <QTimer>
#include <QWidget>

#include <xcb/xcb.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace orlix::platform {

namespace {

xcb_atom_t internAtom(xcb_connection_t* connection, const char* name) {
    const xcb_intern_atom_cookie_t cookie =
        xcb_intern_atom(connection, 0, static_cast<uint16_t>(std::strlen(name)), name);
    xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(connection, cookie, nullptr);
    const xcb_atom_t atom = reply ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
    std::free(reply);
    return atom;
}

// Keeps a window off the taskbar and the pager each time the program shows it, in the two ways
// the window manager hears of it (EWMH):
// - before the window is mapped, in its _NET_WM_STATE property, which the window manager reads
//   when it takes the window on. The show event comes after the native window exists and
//   before Qt maps it, and Qt's mapping merges its own states (full screen, above) into what
//   it finds there;
// - once it is mapped, as a request to the window manager. A window hidden and shown again at
//   once may be mapped again before the window manager has finished with its withdrawal, which
//   erases the property; the request comes after the new map and is applied after it.
// Without a window manager the request goes unheard, and the property stays as set.
class SkipTaskbarOnShow : public QObject {
public:
    SkipTaskbarOnShow(QWidget* window, xcb_connection_t* connection)
        : QObject(window), window_(window), connection_(connection),
          netWmState_(internAtom(connection, "_NET_WM_STATE")),
          skips_{internAtom(connection, "_NET_WM_STATE_SKIP_TASKBAR"),
                 internAtom(connection, "_NET_WM_STATE_SKIP_PAGER")} {}

    bool usable() const {
        return netWmState_ != XCB_ATOM_NONE && skips_[0] != XCB_ATOM_NONE &&
               skips_[1] != XCB_ATOM_NONE;
    }

    bool eventFilter(QObject* watched, QEvent* event) override {
        // A spontaneous show is the window manager's (the window was restored): the window is
        // mapped by then, and its states are the window manager's business.
        if (watched == window_ && event->type() == QEvent::Show && !event->spontaneous()) {
            addToProperty(static_cast<xcb_window_t>(window_->winId()));
            // Queued: Qt maps the window when the show event has been handled.
            QTimer::singleShot(0, this, [this] {
                if (window_->isVisible())
                    requestOfWindowManager(static_cast<xcb_window_t>(window_->winId()));
            });
        }
        return false;
    }

private:
    void addToProperty(xcb_window_t window) const {
        std::vector<xcb_atom_t> states;
        const xcb_get_property_cookie_t cookie =
            xcb_get_property(connection_, 0, window, netWmState_, XCB_ATOM_ATOM, 0, 1024);
        if (xcb_get_property_reply_t* reply =
                xcb_get_property_reply(connection_, cookie, nullptr)) {
            if (reply->type == XCB_ATOM_ATOM && reply->format == 32) {
                const auto* first = static_cast<const xcb_atom_t*>(xcb_get_property_value(reply));
                states.assign(first, first + xcb_get_property_value_length(reply) / 4);
            }
            std::free(reply);
        }
        for (const xcb_atom_t skip : skips_) {
            if (std::find(states.begin(), states.end(), skip) == states.end())
                states.push_back(skip);
        }
        xcb_change_property(connection_, XCB_PROP_MODE_REPLACE, window, netWmState_, XCB_ATOM_ATOM,
                            32, static_cast<uint32_t>(states.size()), states.data());
        xcb_flush(connection_);
    }

    void requestOfWindowManager(xcb_window_t window) const {
        xcb_query_tree_reply_t* tree =
            xcb_query_tree_reply(connection_, xcb_query_tree(connection_, window), nullptr);
        if (tree == nullptr)
            return;
        const xcb_window_t root = tree->root;
        std::free(tree);
        constexpr uint32_t kAdd = 1;         // _NET_WM_STATE_ADD
        constexpr uint32_t kApplication = 1; // the request comes from a normal application
        xcb_client_message_event_t message{};
        message.response_type = XCB_CLIENT_MESSAGE;
        message.format = 32;
        message.window = window;
        message.type = netWmState_;
        message.data.data32[0] = kAdd;
        message.data.data32[1] = skips_[0];
        message.data.data32[2] = skips_[1];
        message.data.data32[3] = kApplication;
        xcb_send_event(connection_, 0, root,
                       XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                       reinterpret_cast<const char*>(&message));
        xcb_flush(connection_);
    }

    QWidget* window_;
    xcb_connection_t* connection_;
    xcb_atom_t netWmState_;
    std::array<xcb_atom_t, 2> skips_;
};

xcb_connection_t* x11Connection() {
    if (!onX11())
        return nullptr;
    const auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    return x11 ? x11->connection() : nullptr;
}

} // namespace

void keepOffTaskbar(QWidget* window) {
    if (window == nullptr || !window->isWindow())
        return;
    xcb_connection_t* connection = x11Connection();
    if (connection == nullptr)
        return;
    auto* hints = new SkipTaskbarOnShow(window, connection);
    if (hints->usable())
        window->installEventFilter(hints);
    else
        delete hints;
}

void requestFocus(QWidget* window) {
    if (window == nullptr || onWayland())
        return;
    window->activateWindow();
}

void bringToFront(QWidget* window) {
    if (window == nullptr || onWayland())
        return;
    window->raise();
    window->activateWindow();
}

} // namespace orlix::platform
