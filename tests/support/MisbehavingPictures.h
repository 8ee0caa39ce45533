#pragma once

#include <cstdint>

namespace orlix::test {

// Contents of test pictures that make a test program's decoder process fail as a flawed
// decoder could: crash, never answer, or take memory until its ceiling stops it.
inline constexpr char kCrashingPicture[] = "orlix-test:crash";
inline constexpr char kHangingPicture[] = "orlix-test:hang";
inline constexpr char kGreedyPicture[] = "orlix-test:greedy";
// More than the program's decoder processes may take.
inline constexpr std::int64_t kBeyondCeiling = std::int64_t(8) << 30;

} // namespace orlix::test
