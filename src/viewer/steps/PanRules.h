#pragma once

#include <cstdint>

namespace orlix {

// Panning a picture at real size, one tenth of the screen a key press. Lengths are twips
// along one axis; the results are the new pan offset, never below 0.

// Towards the picture's top or left edge: stops at 0.
std::int32_t panBack(std::int32_t offset, int screenLength);

// Towards its lower or right edge: stops where that edge of the picture meets the view's.
// A picture that fits the view cannot be panned.
std::int32_t panForward(std::int32_t offset, int screenLength, double pictureLength,
                        int viewLength);

// A pan by a Shift+arrow key (its arrow's code) over a picture of pictureWidth x pictureHeight
// seen through a view of viewWidth x viewHeight, on a screen of screenWidth x screenHeight.
struct PanArea {
    int screenWidth = 0;
    int screenHeight = 0;
    double pictureWidth = 0;
    double pictureHeight = 0;
    int viewWidth = 0;
    int viewHeight = 0;
};
void panByKey(std::int16_t arrow, const PanArea& area, std::int32_t& offsetX,
              std::int32_t& offsetY);

} // namespace orlix
