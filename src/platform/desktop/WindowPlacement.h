#pragma once

#include <QMargins>
#include <QPoint>
#include <QRect>
#include <QSize>

class QWidget;

namespace orlix::platform {

// Half of `span`, a halving that leaves half a pixel rounded away from zero (645 -> 323,
// -11 -> -6), so that an odd remainder always goes to the same side.
constexpr int halfRounded(int span) {
    return span >= 0 ? (span + 1) / 2 : -((1 - span) / 2);
}

// The one centring rule of the program's windows: the top-left corner of the window's frame
// (the client area grown by `frame`, the window manager's border and title bar) that centres
// the frame on `area`: left = area.x + round((area.width - frame width) / 2), top likewise.
constexpr QPoint centredFramePosition(const QRect& area, const QSize& client,
                                      const QMargins& frame) {
    const int width = client.width() + frame.left() + frame.right();
    const int height = client.height() + frame.top() + frame.bottom();
    return QPoint(area.x() + halfRounded(area.width() - width),
                  area.y() + halfRounded(area.height() - height));
}

// Centres the top-level `window` on `area` (logical pixels, virtual-desktop coordinates) by
// the rule above. Before it is first shown the frame is not known yet: the window manager
// adds it when it maps the window, so once the frame arrives the window is centred once more,
// frame included. On Wayland the compositor places windows itself, and nothing is moved.
void centreOnScreen(QWidget* window, const QRect& area);

} // namespace orlix::platform
