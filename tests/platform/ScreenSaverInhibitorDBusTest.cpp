#include "platform/desktop/ScreenSaverInhibitorDBus.h"

#include "core/AppInfo.h"
#include "support/FakeScreenSaverBus.h"

#include <QTest>
#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <vector>

namespace orlix::platform {
namespace {

using test::FakeScreenSaverBus;
using test::ScreenSaverCall;

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

} // namespace
} // namespace orlix::platform
