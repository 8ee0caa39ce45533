#include "WatchedXvfb.h"

#include <cstdio>

namespace orlix::bench {

bool WatchedXvfb::open(QSize size) {
    if (!display_.start(size)) {
        std::fprintf(stderr, "%s\n", qPrintable(display_.error()));
        return false;
    }
    watch_ = std::make_unique<ScreenWatch>(display_.display());
    if (!watch_->error().isEmpty()) {
        std::fprintf(stderr, "%s\n", qPrintable(watch_->error()));
        return false;
    }
    return true;
}

} // namespace orlix::bench
