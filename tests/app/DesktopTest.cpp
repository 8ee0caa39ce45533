#include "platform/desktop/Desktop.h"
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

} // namespace
} // namespace orlix::platform
