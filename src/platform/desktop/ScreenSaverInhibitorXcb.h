#pragma once

#include "platform/desktop/ScreenSaverInhibitor.h"

#include <QPointer>

struct xcb_connection_t;
class QObject;

namespace orlix::platform {

// Inhibits through the X screen-saver extension's Suspend request (MIT-SCREEN-SAVER 1.1),
// which holds off both the saver and the display's power saving. The X server ends a
// suspension when it is released or when the connection that asked for it closes, so even a
// program that crashes cannot leave the screen awake.
//
// Where the server lacks the extension (or its version 1.1), nothing happens.
class ScreenSaverInhibitorXcb final : public ScreenSaverInhibitor {
public:
    // `connection` is not owned. When `connectionOwner` is given, the connection is used only
    // while that object lives: Qt's own connection closes with the application object.
    explicit ScreenSaverInhibitorXcb(xcb_connection_t* connection,
                                     const QObject* connectionOwner = nullptr);
    ~ScreenSaverInhibitorXcb() override;

    void setInhibited(bool inhibited) override;
    bool isInhibited() const override { return wanted_; }

private:
    bool connectionUsable() const;
    // Whether the server can suspend; asked once, on first use, from the reply prefetched
    // by the constructor.
    bool serverSupportsSuspend();
    void suspend(bool on);

    xcb_connection_t* connection_;
    QPointer<const QObject> owner_;
    bool hasOwner_;
    bool wanted_ = false;
    bool suspended_ = false;
    enum class Support { Unknown, Yes, No } support_ = Support::Unknown;
};

} // namespace orlix::platform
