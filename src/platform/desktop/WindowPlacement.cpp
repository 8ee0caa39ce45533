#include "platform/desktop/WindowPlacement.h"

#include "platform/desktop/PlatformKind.h"

#include <QEvent>
#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <QWindow>

namespace orlix::platform {

namespace {

// Centres the window once more when the window manager has put its frame around it. The frame
// is known once the window has been reparented into it, which happens before the frame is
// mapped and so before the window's first expose; a move the frame causes may come earlier.
// An expose without a frame (no window manager, or a frameless window) ends the watch.
class RecentreWhenFramed : public QObject {
public:
    RecentreWhenFramed(QWidget* window, const QRect& area)
        : QObject(window), window_(window), area_(area) {
        window->installEventFilter(this);
    }

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == window_ && event->type() == QEvent::Show && !native_) {
            native_ = window_->windowHandle();
            if (native_)
                native_->installEventFilter(this);
        } else if (watched == native_ &&
                   (event->type() == QEvent::Move || event->type() == QEvent::Expose)) {
            const QMargins frame = native_->frameMargins();
            if (!frame.isNull())
                recentre(frame);
            else if (event->type() == QEvent::Expose)
                finish();
        }
        return false;
    }

private:
    void recentre(const QMargins& frame) {
        // Moved from the event loop rather than from inside the window system's own event.
        QPointer<QWidget> window = window_;
        const QPoint corner = centredFramePosition(area_, window_->size(), frame);
        QTimer::singleShot(0, window_, [window, corner] {
            if (window)
                window->move(corner);
        });
        finish();
    }

    void finish() {
        window_->removeEventFilter(this);
        if (native_)
            native_->removeEventFilter(this);
        deleteLater();
    }

    QWidget* window_;
    QRect area_;
    QPointer<QWindow> native_;
};

QMargins knownFrame(const QWidget* window) {
    const QWindow* native = window->windowHandle();
    return native ? native->frameMargins() : QMargins();
}

} // namespace

void centreOnScreen(QWidget* window, const QRect& area) {
    if (window == nullptr || onWayland())
        return;
    window->move(centredFramePosition(area, window->size(), knownFrame(window)));
    // Only a window manager of X11 adds a frame the program learns of after the first show.
    if (onX11() && !window->isVisible())
        new RecentreWhenFramed(window, area);
}

} // namespace orlix::platform
