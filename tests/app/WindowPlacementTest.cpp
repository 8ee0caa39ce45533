#include "platform/desktop/WindowPlacement.h"

#include <QRect>
#include <gtest/gtest.h>

namespace orlix::platform {
namespace {

TEST(WindowPlacement, CentresTheFrameWithHalfPixelsRoundedAwayFromZero) {
    struct Case {
        const char* what;
        QRect area;
        QSize client;
        QMargins frame; // left, top, right, bottom
        QPoint corner;  // the frame's top-left corner
    };
    const Case cases[] = {
        {"odd room: the half pixel goes right and down",
         {0, 0, 1023, 767},
         {378, 136},
         {},
         {323, 316}},
        {"odd window on an even screen", {0, 0, 800, 600}, {377, 135}, {}, {212, 233}},
        {"screen left of and above the primary one",
         {-1280, -200, 1280, 1024},
         {298, 89},
         {},
         {-789, 268}},
        {"frame on an odd screen (openbox's)",
         {0, 0, 1023, 767},
         {378, 136},
         {1, 20, 1, 1},
         {322, 305}},
        {"uneven frame", {100, 50, 1000, 700}, {400, 300}, {8, 30, 2, 4}, {395, 233}},
        {"larger than the screen: the odd pixel sticks out left and up",
         {0, 0, 300, 200},
         {311, 211},
         {},
         {-6, -6}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(centredFramePosition(c.area, c.client, c.frame), c.corner) << c.what;
}

} // namespace
} // namespace orlix::platform
