#pragma once

#include <cstdint>

namespace orlix::test {

// This process's resident shared memory in KiB, as the kernel counts it (RssShmem); -1 when
// the kernel does not say.
std::int64_t sharedResidentKb();

} // namespace orlix::test
