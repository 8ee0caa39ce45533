#include "platform/desktop/ScreenSaverInhibitorXcb.h"

#include <QObject>

#include <xcb/screensaver.h>
#include <xcb/xcb.h>

#include <cstdlib>

namespace orlix::platform {

ScreenSaverInhibitorXcb::ScreenSaverInhibitorXcb(xcb_connection_t* connection,
                                                 const QObject* connectionOwner)
    : connection_(connection), owner_(connectionOwner), hasOwner_(connectionOwner != nullptr) {
    // Sends the extension query now, so that the first setInhibited() finds the answer there
    // instead of waiting for the server.
    if (connectionUsable())
        xcb_prefetch_extension_data(connection_, &xcb_screensaver_id);
}

ScreenSaverInhibitorXcb::~ScreenSaverInhibitorXcb() {
    if (suspended_)
        suspend(false);
}

void ScreenSaverInhibitorXcb::setInhibited(bool inhibited) {
    wanted_ = inhibited;
    // The server counts Suspend requests per connection, so exactly one is held at a time.
    if (inhibited != suspended_ && serverSupportsSuspend())
        suspend(inhibited);
}

bool ScreenSaverInhibitorXcb::connectionUsable() const {
    return connection_ && (!hasOwner_ || owner_) && !xcb_connection_has_error(connection_);
}

bool ScreenSaverInhibitorXcb::serverSupportsSuspend() {
    if (support_ == Support::Unknown && connectionUsable()) {
        support_ = Support::No;
        const xcb_query_extension_reply_t* extension =
            xcb_get_extension_data(connection_, &xcb_screensaver_id);
        if (extension && extension->present) {
            // Suspend came with version 1.1; an older server would answer it with an error,
            // which Qt would print.
            xcb_screensaver_query_version_reply_t* version = xcb_screensaver_query_version_reply(
                connection_, xcb_screensaver_query_version(connection_, 1, 1), nullptr);
            if (version &&
                (version->server_major_version > 1 ||
                 (version->server_major_version == 1 && version->server_minor_version >= 1)))
                support_ = Support::Yes;
            std::free(version);
        }
    }
    return support_ == Support::Yes;
}

void ScreenSaverInhibitorXcb::suspend(bool on) {
    if (!connectionUsable()) {
        suspended_ = false; // a closed connection has ended its suspension already
        return;
    }
    xcb_screensaver_suspend(connection_, on ? 1 : 0);
    xcb_flush(connection_);
    suspended_ = on;
}

} // namespace orlix::platform
