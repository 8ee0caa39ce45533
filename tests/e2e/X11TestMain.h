#pragma once

#include "support/XvfbServer.h"

#include <QSize>

namespace orlix::test {

// The screen of the Xvfb that X11TestMain.cpp starts before the application object: odd in
// both directions, so that centring has a half pixel to round.
inline constexpr QSize kX11Screen(1023, 767);

// That server; the test program's windows are shown on it through Qt's xcb platform.
inline XvfbServer* theX11Server = nullptr;
inline XvfbServer& x11Server() {
    return *theX11Server;
}

} // namespace orlix::test
