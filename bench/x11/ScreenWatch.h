#pragma once

#include <QImage>
#include <QRgb>
#include <QSize>
#include <QString>

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>

struct xcb_connection_t;

namespace orlix::bench {

// When things happened after the key press, in ms; negative when they did not.
struct FirstPictureTimes {
    double windowMapped = -1; // a window covering the screen was mapped
    double firstDamage = -1;  // the screen changed at all
    double picture = -1;      // the screen's centre showed the picture
    QRgb lastCentre = 0;      // what the centre showed last, for a run that failed
};

// A client of an X server that presses keys as a user would (XTest) and watches the whole screen
// change (XDamage on the root window), so that "on screen" means what the server shows.
class ScreenWatch {
public:
    explicit ScreenWatch(const QString& display);
    ~ScreenWatch();
    ScreenWatch(const ScreenWatch&) = delete;
    ScreenWatch& operator=(const ScreenWatch&) = delete;

    // Empty when connected with both extensions; why not otherwise.
    const QString& error() const { return error_; }
    QSize screenSize() const { return screenSize_; }

    // A viewable top-level window of `size`; 0 when there is none.
    std::uint32_t topLevelOfSize(QSize size) const;
    // Gives the window the keyboard, as a window manager would.
    void focus(std::uint32_t window);
    // A small window of the watch's own that takes key presses: a launcher of other programs.
    std::uint32_t openLauncher();
    // The colour the screen shows at its centre.
    QRgb centre() const;
    // The whole screen, to show what a failed run left there.
    QImage screen() const;

    // Presses and releases Return and waits, up to `timeoutMs`, until the screen's centre is
    // `shown`. `launch` runs when the launcher got the key press, as its handler would.
    FirstPictureTimes pressReturnUntil(const std::function<bool(QRgb)>& shown,
                                       const std::function<void()>& launch, int timeoutMs);

    // Presses and releases the key of `keysym` (an X keysym).
    void pressKey(std::uint32_t keysym);
    // Waits up to `timeoutMs` for the screen to change; what its centre shows then, or nothing
    // when it did not change in time.
    std::optional<QRgb> nextChange(int timeoutMs);

private:
    std::uint8_t keycodeOf(std::uint32_t keysym) const;
    bool coversScreen(std::uint32_t window) const;
    void clearDamage();
    // Drops the changes and events so far.
    void forgetChanges();

    xcb_connection_t* connection_ = nullptr;
    std::uint32_t root_ = 0;
    std::uint32_t damage_ = 0;
    std::uint32_t launcher_ = 0;
    std::uint8_t damageEvent_ = 0;
    QSize screenSize_;
    QString error_;
};

} // namespace orlix::bench
