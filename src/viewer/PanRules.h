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

} // namespace orlix
