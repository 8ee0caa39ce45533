#pragma once

#include <cstdint>

namespace orlix::test {

// Contents of test pictures that make a test program's decoder process fail as a flawed
// decoder could: crash, never answer, or take memory until its ceiling stops it.
inline constexpr char kCrashingPicture[] = "orlix-test:crash";
inline constexpr char kHangingPicture[] = "orlix-test:hang";
inline constexpr char kGreedyPicture[] = "orlix-test:greedy";
// A picture whose decoder process answers with a reply that does not hold together, which lie
// after the prefix (a digit, Lie below).
inline constexpr char kLyingPicture[] = "orlix-test:lie:";
enum class Lie {
    None,             // a true answer: a 4 x 4 picture
    UnknownError,     // a failure no one knows
    OddScale,         // decoded at 3/8, a scale never used
    LargerThanWhole,  // pixels wider than the whole picture
    BeyondPixelLimit, // a whole picture larger than any decoded
    Unsealed,         // pixels in memory the decoder can still change
    TooManyColours,   // a colour table of 300
};
inline constexpr int kLies = 7;

// More than the program's decoder processes may take.
inline constexpr std::int64_t kBeyondCeiling = std::int64_t(8) << 30;

} // namespace orlix::test
