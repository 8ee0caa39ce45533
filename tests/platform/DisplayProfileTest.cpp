// The display profiles of a private Xvfb's root window, read through a connection of the
// reader's own while the test's connection sets, changes and removes them.
#include "platform/desktop/DisplayProfile.h"
#include "platform/desktop/X11DisplayProfiles.h"

#include "support/XvfbServer.h"

#include <QGuiApplication>
#include <QTest>
#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>

namespace orlix::platform {
namespace {

TEST(X11DisplayProfiles, FollowsTheRootWindowsProfilesAsTheyChange) {
    test::XvfbServer server;
    ASSERT_TRUE(server.start({320, 240})) << server.error().toStdString();
    xcb_connection_t* own = xcb_connect(server.display().toLatin1().constData(), nullptr);
    ASSERT_EQ(xcb_connection_has_error(own), 0);
    X11DisplayProfiles profiles(own);
    xcb_connection_t* tool = server.connection(); // the colour tool's side
    const xcb_window_t root = server.probe().root();

    // What the reader sees after the tool changed the property `name` (nullopt: removed it) to
    // items of `bits`, for the first and the second screen. Every change is one the reader is
    // told of.
    struct Step {
        const char* name;
        std::optional<QByteArray> value;
        QByteArray first, second;
        std::uint8_t bits = 8;
    } steps[] = {
        {"_ICC_PROFILE", QByteArray("display one"), "display one", ""},
        // 32-bit words are not a profile: the display is sRGB.
        {"_ICC_PROFILE", QByteArray("\x07\0\0\0", 4), "", "", 32},
        {"_ICC_PROFILE", QByteArray("calibrated anew"), "calibrated anew", ""},
        {"_ICC_PROFILE_1", QByteArray(3000, '\x7f'), "calibrated anew", QByteArray(3000, '\x7f')},
        {"_ICC_PROFILE", std::nullopt, "", QByteArray(3000, '\x7f')},
        {"_ICC_PROFILE_1", QByteArray(), "", ""},
    };
    EXPECT_EQ(profiles.profile(0), QByteArray());
    EXPECT_EQ(profiles.profile(1), QByteArray());
    for (const Step& step : steps) {
        SCOPED_TRACE(step.name);
        const xcb_atom_t atom = server.probe().atom(step.name);
        if (step.value)
            xcb_change_property(tool, XCB_PROP_MODE_REPLACE, root, atom, XCB_ATOM_CARDINAL,
                                step.bits, std::uint32_t(step.value->size() * 8 / step.bits),
                                step.value->constData());
        else
            xcb_delete_property(tool, root, atom);
        xcb_flush(tool);
        bool told = false;
        EXPECT_TRUE(QTest::qWaitFor(
            [&] {
                while (xcb_generic_event_t* event = xcb_poll_for_event(own)) {
                    told = profiles.notice(event) || told;
                    std::free(event);
                }
                return told;
            },
            5000));
        EXPECT_EQ(profiles.profile(0), step.first);
        EXPECT_EQ(profiles.profile(1), step.second);
    }
    xcb_disconnect(own);
}

TEST(DisplayProfile, IsSrgbAwayFromX11) {
    ASSERT_NE(QGuiApplication::platformName(), QStringLiteral("xcb"));
    EXPECT_TRUE(displayProfile(nullptr).isEmpty());
}

} // namespace
} // namespace orlix::platform
