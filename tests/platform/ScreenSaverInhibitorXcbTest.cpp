#include "platform/posix/ScreenSaverInhibitorXcb.h"

#include "ScreenSaverInhibitorXServer.h"

#include <QElapsedTimer>
#include <QTest>
#include <gtest/gtest.h>
#include <xcb/xcb.h>

#include <memory>

namespace orlix::platform {
namespace {

// Runs where Xvfb is installed, as tools/install-deps.sh sees to in CI.
class ScreenSaverInhibitorXcbTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!ScreenSaverInhibitorXServer::xvfbInstalled())
            GTEST_SKIP() << "Xvfb is not installed (package xvfb)";
    }
};

// How a show ends: the viewer pauses it, or the viewer (and with it the inhibitor) goes.
enum class Release { SetFalse, Destruction };

TEST_F(ScreenSaverInhibitorXcbTest, HoldsTheSaverOffUntilReleased) {
    for (const Release release : {Release::SetFalse, Release::Destruction}) {
        SCOPED_TRACE(release == Release::SetFalse ? "setInhibited(false)" : "destruction");
        ScreenSaverInhibitorXServer server;
        ASSERT_TRUE(server.start()) << server.error().toStdString();
        server.setOneSecondTimeout();
        auto inhibitor = std::make_unique<ScreenSaverInhibitorXcb>(server.connection());
        inhibitor->setInhibited(true);
        // The server counts suspensions per connection: a second one held here would keep
        // the saver off after the single release below.
        inhibitor->setInhibited(true);
        EXPECT_TRUE(inhibitor->isInhibited());
        EXPECT_TRUE(server.saverHeldPastItsTime());

        QElapsedTimer sinceRelease;
        sinceRelease.start();
        if (release == Release::SetFalse) {
            inhibitor->setInhibited(false);
            EXPECT_FALSE(inhibitor->isInhibited());
        } else {
            inhibitor.reset();
        }
        // A release restarts the server's count from the full timeout.
        EXPECT_TRUE(QTest::qWaitFor([&] { return server.saverOn(); }, 3000));
        ::testing::Test::RecordProperty(release == Release::SetFalse
                                            ? "ms_from_set_false_to_saver"
                                            : "ms_from_destruction_to_saver",
                                        int(sinceRelease.elapsed()));
    }
}

TEST_F(ScreenSaverInhibitorXcbTest, ServerWithoutTheExtensionIsLeftAlone) {
    ScreenSaverInhibitorXServer server;
    ASSERT_TRUE(server.start({QStringLiteral("-extension"), QStringLiteral("MIT-SCREEN-SAVER")}))
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
