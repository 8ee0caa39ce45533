#include "platform/desktop/Desktop.h"
#include "platform/desktop/WindowPlacement.h"
#include "support/TempTree.h"

#include <QCursor>
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <utility>

namespace orlix::platform {
namespace {

TEST(Desktop, PointerMayBeMovedEverywhereButOnWayland) {
    const std::pair<const char*, bool> cases[] = {{"xcb", true},          {"offscreen", true},
                                                  {"xcb-wayland", true},  {"wayland", false},
                                                  {"wayland-egl", false}, {"Wayland", false}};
    for (const auto& [platform, movable] : cases)
        EXPECT_EQ(platformLetsProgramsMovePointer(QString::fromLatin1(platform)), movable)
            << platform;
    // These tests run on the offscreen platform.
    EXPECT_TRUE(movePointer(QPoint(456, 321)));
    EXPECT_EQ(QCursor::pos(), QPoint(456, 321));
}

TEST(Desktop, ExecutableFolderKeepsAFolderNameThatIsNotUtf8) {
    test::TempTree tree;
    const QByteArray folder = "caf\xe9/\x8e\xca\x90\x5e"; // Latin-1, then Shift-JIS
    tree.mkdir(folder);
    const QByteArray copy = tree.path(folder + "/probe");
    std::filesystem::copy_file(ORLIX_EXECUTABLE_FOLDER_PROBE, copy.toStdString());
    FILE* probe = ::popen(("'" + copy + "'").constData(), "r");
    ASSERT_NE(probe, nullptr);
    char hex[8192];
    const size_t length = std::fread(hex, 1, sizeof hex, probe);
    ::pclose(probe);
    // The kernel reports the folder with symbolic links resolved (TMPDIR may hold one).
    const std::string expected = std::filesystem::canonical(tree.path(folder).toStdString());
    EXPECT_EQ(QByteArray::fromHex(QByteArray(hex, length)), QByteArray::fromStdString(expected));
}

TEST(WindowPlacement, CentresTheFrameWithHalfPixelsRoundedAwayFromZero) {
    const struct {
        const char* what;
        QRect area;
        QSize client;
        QMargins frame; // left, top, right, bottom
        QPoint corner;  // the frame's top-left corner
    } cases[] = {
        // clang-format off
        {"odd room: the half pixel goes right and down", {0, 0, 1023, 767}, {378, 136}, {}, {323, 316}},
        {"odd window on an even screen",                 {0, 0, 800, 600},  {377, 135}, {}, {212, 233}},
        {"screen left of and above the primary one", {-1280, -200, 1280, 1024}, {298, 89}, {}, {-789, 268}},
        {"frame on an odd screen (openbox's)",  {0, 0, 1023, 767},    {378, 136}, {1, 20, 1, 1}, {322, 305}},
        {"uneven frame",                        {100, 50, 1000, 700}, {400, 300}, {8, 30, 2, 4}, {395, 233}},
        {"larger than the screen: the odd pixel sticks out left and up", {0, 0, 300, 200}, {311, 211}, {}, {-6, -6}},
        // clang-format on
    };
    for (const auto& c : cases)
        EXPECT_EQ(centredFramePosition(c.area, c.client, c.frame), c.corner) << c.what;
}

} // namespace
} // namespace orlix::platform
