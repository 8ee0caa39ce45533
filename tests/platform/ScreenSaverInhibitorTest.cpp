// Keeping the screen awake: the desktop's screen-saver service on a private session bus, called
// by the inhibitor in this process and by the program's own in a process of its own, and the X
// screen-saver suspension it falls back on; the saver of a private Xvfb is watched through the
// test's own connection to it.
#include "platform/desktop/ScreenSaverInhibitorDBus.h"

#include "core/AppInfo.h"
#include "support/FakeScreenSaverBus.h"
#include "support/ProgramRun.h"
#include "support/XvfbServer.h"

#include <QTest>
#include <gtest/gtest.h>
#include <xcb/screensaver.h>
#include <xcb/xcb.h>

#include <cstdlib>
#include <memory>
#include <optional>
#include <vector>

namespace orlix::platform {
namespace {

using test::FakeScreenSaverBus;
using test::ScreenSaverCall;
using test::XvfbServer;

const QString kStandardPath = QStringLiteral("/org/freedesktop/ScreenSaver");

// Stands in for the X fallback: records what it was asked.
class RecordingInhibitor final : public ScreenSaverInhibitor {
public:
    explicit RecordingInhibitor(std::vector<bool>& asked) : asked_(asked) {}
    void setInhibited(bool inhibited) override { asked_.push_back(inhibited); }
    bool isInhibited() const override { return !asked_.empty() && asked_.back(); }

private:
    std::vector<bool>& asked_;
};

// A private bus, and on it the fake service started with `options`.
std::unique_ptr<FakeScreenSaverBus> startBus(const QStringList& options) {
    auto bus = std::make_unique<FakeScreenSaverBus>();
    if (!bus->start() || !bus->startService(options)) {
        ADD_FAILURE() << bus->error().toStdString();
        return nullptr;
    }
    return bus;
}

void expectInhibitCall(const ScreenSaverCall& call, const QString& path) {
    EXPECT_EQ(call.method, QLatin1String("Inhibit"));
    EXPECT_EQ(call.path, path);
    EXPECT_EQ(call.application, QString::fromUtf8(app::kTitle));
    EXPECT_EQ(call.reason, QStringLiteral("スライドショーを表示しています"));
}

void expectRelease(const ScreenSaverCall& call, const ScreenSaverCall& inhibit) {
    EXPECT_EQ(call.method, QLatin1String("UnInhibit"));
    EXPECT_EQ(call.path, inhibit.path);
    EXPECT_EQ(call.cookie, inhibit.cookie);
}

// Ends the inhibitor as the program's exit does: the connection goes right after it, so a
// release still queued in it would be lost.
void destroyWithItsConnection(std::unique_ptr<ScreenSaverInhibitorDBus>& inhibitor) {
    inhibitor.reset();
    QDBusConnection::disconnectFromBus(QStringLiteral("inhibitor"));
}

TEST(ScreenSaverInhibitorDBus, InhibitsOnceAndReleasesWithTheCookieAlsoWhenDestroyed) {
    // Services differ in the objects they serve: the standard one, only the one KDE used
    // first (older KDE and Xfce releases), or both.
    const struct {
        const char* paths;
        QString expectedPath;
    } rows[] = {
        {"/org/freedesktop/ScreenSaver", kStandardPath},
        {"/ScreenSaver", QStringLiteral("/ScreenSaver")},
        {"/ScreenSaver,/org/freedesktop/ScreenSaver", kStandardPath},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.paths);
        const auto busOwner = startBus(QStringList{"--paths", QString::fromLatin1(row.paths)});
        ASSERT_TRUE(busOwner);
        FakeScreenSaverBus& bus = *busOwner;
        auto inhibitor =
            std::make_unique<ScreenSaverInhibitorDBus>(bus.connect(QStringLiteral("inhibitor")));

        inhibitor->setInhibited(true);
        inhibitor->setInhibited(true);
        EXPECT_TRUE(inhibitor->isInhibited());
        ASSERT_TRUE(bus.waitForCalls(1));
        expectInhibitCall(bus.calls()[0], row.expectedPath);
        EXPECT_FALSE(bus.waitForCalls(2, 300)) << "a repeated set(true) inhibited again";

        inhibitor->setInhibited(false);
        EXPECT_FALSE(inhibitor->isInhibited());
        ASSERT_TRUE(bus.waitForCalls(2));
        expectRelease(bus.calls()[1], bus.calls()[0]);

        // A second show gets a new inhibition, released when the inhibitor goes.
        inhibitor->setInhibited(true);
        ASSERT_TRUE(bus.waitForCalls(3));
        expectInhibitCall(bus.calls()[2], row.expectedPath);
        EXPECT_FALSE(inhibitor->handedOver());
        destroyWithItsConnection(inhibitor);
        ASSERT_TRUE(bus.waitForCalls(4));
        expectRelease(bus.calls()[3], bus.calls()[2]);
    }
}

TEST(ScreenSaverInhibitorDBus, WishesChangedBeforeTheCookieArrivesAreSettledByIt) {
    // The service holds each reply back, so every change below is asked while Inhibit is
    // still on its way. What counts is the last wish.
    const struct {
        std::vector<bool> wishes;
        std::vector<const char*> expectedMethods;
    } rows[] = {
        {{true, false}, {"Inhibit", "UnInhibit"}},
        {{true, false, true}, {"Inhibit"}},
        {{true, false, true, false}, {"Inhibit", "UnInhibit"}},
    };
    const auto busOwner = startBus(QStringList{"--reply-delay-ms", "300"});
    ASSERT_TRUE(busOwner);
    FakeScreenSaverBus& bus = *busOwner;
    std::vector<bool> fallbackAsked;
    auto inhibitor = std::make_unique<ScreenSaverInhibitorDBus>(
        bus.connect(QStringLiteral("inhibitor")),
        std::make_unique<RecordingInhibitor>(fallbackAsked));
    // True when nothing more reaches the service for a while: the check for calls that must
    // not be made.
    const auto noFurtherCalls = [&] { return !bus.waitForCalls(bus.calls().size() + 1, 300); };
    std::size_t first = 0;
    for (const auto& row : rows) {
        SCOPED_TRACE(::testing::PrintToString(row.wishes));
        for (bool wish : row.wishes)
            inhibitor->setInhibited(wish);
        EXPECT_EQ(inhibitor->isInhibited(), row.wishes.back());
        // The held reply, then a second at most.
        ASSERT_TRUE(bus.waitForCalls(first + row.expectedMethods.size(), 300 + 1000));
        EXPECT_TRUE(noFurtherCalls());
        const std::vector<ScreenSaverCall>& calls = bus.calls();
        ASSERT_EQ(calls.size(), first + row.expectedMethods.size());
        for (std::size_t i = 0; i < row.expectedMethods.size(); ++i)
            EXPECT_EQ(calls[first + i].method, QLatin1String(row.expectedMethods[i]));
        if (row.expectedMethods.size() == 2)
            expectRelease(calls[first + 1], calls[first]);
        // Back to rest for the next row.
        inhibitor->setInhibited(false);
        if (row.wishes.back()) {
            ASSERT_TRUE(bus.waitForCalls(calls.size() + 1));
        }
        first = bus.calls().size();
    }
    // Gone before the cookie arrived: the release still reaches the service.
    inhibitor->setInhibited(true);
    destroyWithItsConnection(inhibitor);
    ASSERT_TRUE(bus.waitForCalls(first + 2));
    expectInhibitCall(bus.calls()[first], kStandardPath);
    expectRelease(bus.calls()[first + 1], bus.calls()[first]);
    EXPECT_TRUE(fallbackAsked.empty());
}

TEST(ScreenSaverInhibitorDBus, HandsOverToTheFallbackWhereNoServiceAnswers) {
    const struct {
        const char* what;
        bool busRuns; // if not, nobody listens where the bus would be: handed over at once
        std::optional<QStringList> serviceOptions; // none: no service on the bus at all
    } rows[] = {
        {"a bus nobody listens on", false, std::nullopt},
        {"no service", true, std::nullopt},
        {"a service without the screen-saver objects", true, QStringList{"--paths", "/elsewhere"}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        FakeScreenSaverBus bus;
        ASSERT_TRUE(!row.busRuns ||
                    (bus.start() && (!row.serviceOptions || bus.startService(*row.serviceOptions))))
            << bus.error().toStdString();
        std::vector<bool> asked;
        ScreenSaverInhibitorDBus inhibitor(bus.connect(QStringLiteral("inhibitor")),
                                           std::make_unique<RecordingInhibitor>(asked));
        inhibitor.setInhibited(true);
        EXPECT_TRUE(row.busRuns || inhibitor.handedOver()) << "not handed over at once";
        ASSERT_TRUE(QTest::qWaitFor([&] { return !asked.empty(); }, 1000));
        EXPECT_TRUE(inhibitor.handedOver());
        inhibitor.setInhibited(false);
        inhibitor.setInhibited(true);
        EXPECT_EQ(asked, (std::vector<bool>{true, false, true}));
        EXPECT_TRUE(bus.calls().empty());
    }
}

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
        FakeScreenSaverBus bus;
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
            expectInhibitCall(bus.calls()[0], kStandardPath);
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
            expectRelease(bus.calls()[1], bus.calls()[0]);
        } else if (saver) {
            EXPECT_TRUE(saverComesOn(server));
        }
    }
}

} // namespace
} // namespace orlix::platform
