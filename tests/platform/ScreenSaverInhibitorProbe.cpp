// A program that keeps the screen awake the way Orlix does, through
// makeDesktopScreenSaverInhibitor(), for the tests that need a process of its own: its Qt
// platform, session bus and exit are real. Driven by lines on standard input:
//   on / off   setInhibited(true / false), answered with "ok"
//   exit       leaves the event loop and ends normally (the inhibitor is destroyed first)
//   crash      ends at once, as a crash would, destroying nothing
// Prints "ready <kind>" once the inhibitor exists, kind being dbus, xcb or none, and nothing
// else of its own.
#include "platform/desktop/ScreenSaverInhibitor.h"
#include "platform/desktop/ScreenSaverInhibitorDBus.h"
#include "platform/desktop/ScreenSaverInhibitorXcb.h"

#include <QGuiApplication>
#include <QSocketNotifier>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

using orlix::platform::ScreenSaverInhibitor;

namespace {

void reply(const char* text) {
    std::printf("%s\n", text);
    std::fflush(stdout);
}

const char* kindOf(const ScreenSaverInhibitor* inhibitor) {
    if (dynamic_cast<const orlix::platform::ScreenSaverInhibitorDBus*>(inhibitor))
        return "dbus";
    if (dynamic_cast<const orlix::platform::ScreenSaverInhibitorXcb*>(inhibitor))
        return "xcb";
    return "none";
}

} // namespace

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    const auto inhibitor = orlix::platform::makeDesktopScreenSaverInhibitor();
    reply((std::string("ready ") + kindOf(inhibitor.get())).c_str());

    std::string pending;
    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, [&] {
        char buffer[256];
        const ssize_t count = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (count <= 0) {
            app.quit();
            return;
        }
        pending.append(buffer, static_cast<std::size_t>(count));
        for (std::size_t end; (end = pending.find('\n')) != std::string::npos;) {
            const std::string command = pending.substr(0, end);
            pending.erase(0, end + 1);
            if (command == "on" || command == "off") {
                inhibitor->setInhibited(command == "on");
                reply("ok");
            } else if (command == "exit") {
                app.quit();
            } else if (command == "crash") {
                std::_Exit(0);
            }
        }
    });
    return app.exec();
}
