// The inhibitor the program makes for its desktop, and the X screen-saver suspension it falls
// back on; the saver of a private Xvfb is watched through the test's own connection to it.

#include "core/AppInfo.h"
#include "support/FakeScreenSaverBus.h"
#include "support/ProgramRun.h"
#include "support/XvfbServer.h"

#include <QTest>
#include <gtest/gtest.h>
#include <xcb/screensaver.h>
#include <xcb/xcb.h>

#include <cstdlib>

namespace orlix::platform {
namespace {

using test::XvfbServer;

constexpr QSize kScreen(320, 240);

struct SaverState {
    bool on = false;
    unsigned msUntil = 0; // until the server means to turn it on; 0 once that time is past
};

SaverState saverState(const XvfbServer& server) {
    SaverState state;
    xcb_connection_t* connection = server.connection();
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root;
    xcb_screensaver_query_info_reply_t* reply = xcb_screensaver_query_info_reply(
        connection, xcb_screensaver_query_info(connection, root), nullptr);
    if (reply) {
        state.on = reply->state == XCB_SCREENSAVER_STATE_ON;
        state.msUntil = reply->ms_until_server;
        std::free(reply);
    }
    return state;
}

bool saverComesOn(const XvfbServer& server) {
    return QTest::qWaitFor([&] { return saverState(server).on; }, 3000);
}

// Makes the saver come on after one second without input, counted from now.
void setOneSecondTimeout(const XvfbServer& server) {
    xcb_connection_t* connection = server.connection();
    xcb_set_screen_saver(connection, 1, 0, XCB_BLANKING_PREFERRED, XCB_EXPOSURES_ALLOWED);
    xcb_force_screen_saver(connection, XCB_SCREEN_SAVER_RESET);
    xcb_flush(connection);
}

// Waits until the saver's time has come and then a second longer; true when the saver stayed
// off all the while. An unsuspended Xvfb turns it on within some 750 ms of its time (its timer
// is that coarse), so a second of grace tells the two apart.
bool saverHeldPastItsTime(const XvfbServer& server) {
    bool cameOn = false;
    const bool due = QTest::qWaitFor(
        [&] {
            const SaverState state = saverState(server);
            cameOn = cameOn || state.on;
            return cameOn || state.msUntil == 0;
        },
        3000);
    return due && !cameOn && !QTest::qWaitFor([&] { return saverState(server).on; }, 1000);
}

// How the program finds the session bus: none in its environment, an address nobody listens
// on, or a private bus with or without the screen-saver service.
enum class Bus { None, Nobody, NoService, Service };

// The program's side in a process of its own (ScreenSaverInhibitorProbe.cpp), so that its Qt
// platform, session bus and exit are real. It starts with no display of the caller's.
class Probe {
public:
    Probe(Bus bus, const QString& busAddress, const QString& display) {
        if (bus == Bus::None)
            run_.environment.remove(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"));
        else if (bus != Bus::Nobody) // the run's own address is one nobody listens on
            run_.environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), busAddress);
        run_.environment.insert(QStringLiteral("QT_QPA_PLATFORM"), display.isEmpty()
                                                                       ? QStringLiteral("offscreen")
                                                                       : QStringLiteral("xcb"));
        if (!display.isEmpty())
            run_.environment.insert(QStringLiteral("DISPLAY"), display);
        run_.start();
    }

    QByteArray nextLine() {
        while (!run_.process.canReadLine() && run_.process.waitForReadyRead(10000)) {
        }
        return run_.process.readLine().trimmed();
    }
    QByteArray command(const QByteArray& line) {
        run_.process.write(line + '\n');
        return line == "on" || line == "off" ? nextLine() : QByteArray();
    }
    // Waits for the program to end, normally and having printed nothing more.
    void expectEnded() { run_.expectEnded(); }

private:
    test::ProgramRun run_{QStringLiteral(SCREENSAVER_PROBE_PATH)};
};

// The X server the program runs on: none, or a private Xvfb with or without the screen-saver
// extension.
enum class X { None, Saver, NoSaverExtension };

TEST(ScreenSaverInhibitor, ProgramReleasesWhatItHoldsWhenItEnds) {
    // With the service the program inhibits through it. Without a bus it goes to X at once;
    // with a bus but no service there, only once the bus has said so. Either way what it holds
    // ends when it resumes or ends, even when it ends without cleaning up. On an X server
    // without the extension, or with neither bus nor X, it does nothing, and prints nothing.
    const struct {
        const char* what;
        Bus bus;
        X x;
        QByteArray expectedKind;
        QByteArray ending;
    } rows[] = {
        {"the service, exit", Bus::Service, X::None, "ready dbus", "exit"},
        {"no session bus, crash", Bus::None, X::Saver, "ready xcb", "crash"},
        {"a bus without the service, exit", Bus::NoService, X::Saver, "ready dbus", "exit"},
        // An address, lest D-Bus try to start a bus for the display.
        {"X without the extension", Bus::Nobody, X::NoSaverExtension, "ready xcb", "exit"},
        {"neither bus nor X", Bus::None, X::None, "ready none", "exit"},
        {"a bus nobody listens on, no X", Bus::Nobody, X::None, "ready none", "exit"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        XvfbServer server;
        const bool saver = row.x == X::Saver;
        ASSERT_TRUE(row.x == X::None ||
                    server.start(kScreen, saver ? QStringList{}
                                                : QStringList{"-extension", "MIT-SCREEN-SAVER"}))
            << server.error().toStdString();
        test::FakeScreenSaverBus bus;
        ASSERT_TRUE(row.bus < Bus::NoService ||
                    (bus.start() && (row.bus != Bus::Service || bus.startService())))
            << bus.error().toStdString();
        Probe probe(row.bus, bus.address(), row.x == X::None ? QString() : server.display());
        ASSERT_EQ(probe.nextLine(), row.expectedKind);

        if (saver)
            setOneSecondTimeout(server);
        // Twice: the X server counts suspensions per connection, and one release must do.
        EXPECT_EQ(probe.command("on"), "ok");
        EXPECT_EQ(probe.command("on"), "ok");
        if (row.bus == Bus::Service) {
            ASSERT_TRUE(bus.waitForCalls(1));
            EXPECT_EQ(bus.calls()[0].method, QLatin1String("Inhibit"));
            EXPECT_EQ(bus.calls()[0].application, QString::fromUtf8(app::kTitle));
        } else if (saver) {
            EXPECT_TRUE(saverHeldPastItsTime(server));
            // Resumed with the program's connection still open: only the release lets it on.
            EXPECT_EQ(probe.command("off"), "ok");
            EXPECT_TRUE(saverComesOn(server));
            setOneSecondTimeout(server);
            EXPECT_EQ(probe.command("on"), "ok");
            EXPECT_TRUE(saverHeldPastItsTime(server));
        }
        probe.command(row.ending);
        probe.expectEnded();
        if (row.bus == Bus::Service) {
            ASSERT_TRUE(bus.waitForCalls(2));
            EXPECT_EQ(bus.calls()[1].method, QLatin1String("UnInhibit"));
            EXPECT_EQ(bus.calls()[1].cookie, bus.calls()[0].cookie);
        } else if (saver) {
            EXPECT_TRUE(saverComesOn(server));
        }
    }
}

} // namespace
} // namespace orlix::platform
