#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>

#include <memory>

struct xcb_connection_t;

namespace orlix::platform {

// A private Xvfb for the screen-saver inhibitor tests, with one connection of the test's own
// that watches the server's screen saver.
class ScreenSaverInhibitorXServer {
public:
    ScreenSaverInhibitorXServer() = default;
    ~ScreenSaverInhibitorXServer();
    ScreenSaverInhibitorXServer(const ScreenSaverInhibitorXServer&) = delete;
    ScreenSaverInhibitorXServer& operator=(const ScreenSaverInhibitorXServer&) = delete;

    static bool xvfbInstalled();

    // Starts Xvfb on a free display number with `options` added (e.g. "-extension",
    // "MIT-SCREEN-SAVER" to leave the extension out) and connects to it.
    bool start(const QStringList& options = {});
    QString error() const { return error_; }
    QString display() const { return display_; }
    xcb_connection_t* connection() const { return connection_; }

    // Makes the saver come on after one second without input, counted from now.
    void setOneSecondTimeout();
    bool saverOn() const;
    // Milliseconds until the server means to turn the saver on; 0 once that time is past.
    unsigned msUntilSaver() const;

    // Waits until the saver's time has come and then `graceMs` longer; true when the saver
    // stayed off all the while. An unsuspended Xvfb turns it on within some 750 ms of its
    // time (its timer is that coarse), so a second of grace tells the two apart.
    bool saverHeldPastItsTime(int graceMs = 1000) const;

private:
    std::unique_ptr<QProcess> xvfb_;
    xcb_connection_t* connection_ = nullptr;
    QString display_;
    QString error_;
};

} // namespace orlix::platform
