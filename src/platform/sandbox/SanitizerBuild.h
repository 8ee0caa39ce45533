#pragma once

// Whether this is a sanitizer build. Such builds reserve terabytes of address space for their
// bookkeeping (no address-space ceiling can hold) and report through standard error, which the
// confined processes keep open only then.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define ORLIX_SANITIZER_BUILD 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define ORLIX_SANITIZER_BUILD 1
#endif
#endif

namespace orlix::platform {

#if defined(ORLIX_SANITIZER_BUILD)
inline constexpr bool kSanitizerBuild = true;
#else
inline constexpr bool kSanitizerBuild = false;
#endif

} // namespace orlix::platform
