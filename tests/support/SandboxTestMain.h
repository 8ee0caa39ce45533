#pragma once

#include <cstdint>

namespace orlix::test {

// The descriptor a test program holds open across forks in place of a display connection,
// and the reading end of the pipe behind it.
inline constexpr int kDisplayStandIn = 40;
extern int displayStandInReader;

// The memory a decoder process of a test program may take beyond its start.
inline constexpr std::int64_t kTestMemoryAllowance = std::int64_t(512) << 20;

} // namespace orlix::test
