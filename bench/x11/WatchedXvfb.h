#pragma once

#include "ScreenWatch.h"
#include "support/XvfbServer.h"

#include <QSize>

#include <memory>

namespace orlix::bench {

// A private Xvfb for one screen size and the watch on it, as every measurement on a real X
// server opens them.
class WatchedXvfb {
public:
    // Starts the server and connects the watch; when either fails, says why on the standard
    // error and returns false.
    bool open(QSize size);

    const test::XvfbServer& display() const { return display_; }
    ScreenWatch& watch() { return *watch_; }

private:
    test::XvfbServer display_;
    std::unique_ptr<ScreenWatch> watch_;
};

} // namespace orlix::bench
