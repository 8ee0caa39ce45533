// The inhibitor the program makes for its desktop, and the X screen-saver suspension it falls
// back on; the saver of a private Xvfb is watched through the test's own connection to it.
#include "platform/ScreenSaverInhibitor.h"

#include "app/AppInfo.h"
#include "platform/posix/ScreenSaverInhibitorDBus.h"
#include "platform/posix/ScreenSaverInhibitorXcb.h"
#include "support/FakeScreenSaverBus.h"
#include "support/ProgramRun.h"
#include "support/XvfbServer.h"

#include <QTest>
#include <gtest/gtest.h>
#include <xcb/screensaver.h>
#include <xcb/xcb.h>

#include <cstdlib>
#include <memory>

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

TEST(ScreenSaverInhibitor, ProgramReleasesWhatItHoldsWhenItEnds) {
    // With the service the program inhibits through it. Without a bus it goes to X at once;
    // with a bus but no service there, only once the bus has said so. Either way what it holds
    // ends with the program, even when it ends without cleaning up. With neither it does
    // nothing, and prints nothing.
    const struct {
        const char* what;
        Bus bus;
        bool onX;
        QByteArray expectedKind;
        QByteArray ending;
    } rows[] = {
        {"the service, exit", Bus::Service, false, "ready dbus", "exit"},
        {"no session bus, crash", Bus::None, true, "ready xcb", "crash"},
        {"a bus without the service, exit", Bus::NoService, true, "ready dbus", "exit"},
        {"neither bus nor X", Bus::None, false, "ready none", "exit"},
        {"a bus nobody listens on, no X", Bus::Nobody, false, "ready none", "exit"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        XvfbServer server;
        ASSERT_TRUE(!row.onX || server.start(kScreen)) << server.error().toStdString();
        test::FakeScreenSaverBus bus;
        ASSERT_TRUE(row.bus < Bus::NoService ||
                    (bus.start() && (row.bus != Bus::Service || bus.startService())))
            << bus.error().toStdString();
        Probe probe(row.bus, bus.address(), row.onX ? server.display() : QString());
        ASSERT_EQ(probe.nextLine(), row.expectedKind);

        if (row.onX)
            setOneSecondTimeout(server);
        EXPECT_EQ(probe.command("on"), "ok");
        if (row.bus == Bus::Service) {
            ASSERT_TRUE(bus.waitForCalls(1));
            EXPECT_EQ(bus.calls()[0].method, QLatin1String("Inhibit"));
            EXPECT_EQ(bus.calls()[0].application, QString::fromUtf8(app::kTitle));
        } else if (row.onX) {
            EXPECT_TRUE(saverHeldPastItsTime(server));
        }
        probe.command(row.ending);
        probe.expectEnded();
        if (row.bus == Bus::Service) {
            ASSERT_TRUE(bus.waitForCalls(2));
            EXPECT_EQ(bus.calls()[1].method, QLatin1String("UnInhibit"));
            EXPECT_EQ(bus.calls()[1].cookie, bus.calls()[0].cookie);
        } else if (row.onX) {
            EXPECT_TRUE(saverComesOn(server));
        }
    }
}

TEST(ScreenSaverInhibitorXcb, HoldsTheSaverOffUntilPausedOrDestroyed) {
    for (const bool byDestruction : {false, true}) {
        SCOPED_TRACE(byDestruction ? "destruction" : "setInhibited(false)");
        XvfbServer server;
        ASSERT_TRUE(server.start(kScreen)) << server.error().toStdString();
        setOneSecondTimeout(server);
        auto inhibitor = std::make_unique<ScreenSaverInhibitorXcb>(server.connection());
        inhibitor->setInhibited(true);
        // The server counts suspensions per connection: a second one held here would keep
        // the saver off after the single release below.
        inhibitor->setInhibited(true);
        EXPECT_TRUE(inhibitor->isInhibited());
        EXPECT_TRUE(saverHeldPastItsTime(server));
        if (byDestruction) {
            inhibitor.reset();
        } else {
            inhibitor->setInhibited(false);
            EXPECT_FALSE(inhibitor->isInhibited());
        }
        // The test's connection stays open: only the release can let the saver come on.
        EXPECT_TRUE(saverComesOn(server));
    }
}

TEST(ScreenSaverInhibitorXcb, ServerWithoutTheExtensionIsLeftAlone) {
    XvfbServer server;
    ASSERT_TRUE(
        server.start(kScreen, {QStringLiteral("-extension"), QStringLiteral("MIT-SCREEN-SAVER")}))
        << server.error().toStdString();
    ScreenSaverInhibitorXcb inhibitor(server.connection());
    inhibitor.setInhibited(true);
    EXPECT_TRUE(inhibitor.isInhibited());
    inhibitor.setInhibited(false);
    EXPECT_FALSE(inhibitor.isInhibited());
    // xcb shuts a connection down when it is asked to send a request of an extension the
    // server lacks.
    xcb_flush(server.connection());
    EXPECT_FALSE(xcb_connection_has_error(server.connection()));
}

} // namespace
} // namespace orlix::platform
