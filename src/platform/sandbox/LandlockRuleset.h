#pragma once

#include "platform/ipc/UniqueFd.h"

#include <cstdint>

namespace orlix::platform {

// The Landlock levels (the kernel's ABI versions) this program knows, each named for what it
// added. Debian 12's kernel offers Refer; newer kernels more.
enum class LandlockLevel : int {
    None = 0,
    Files = 1,       // executing, writing, making and removing files and folders
    Refer = 2,       // moving or linking a file into another folder
    Truncate = 3,    // truncating a file
    Tcp = 4,         // binding and connecting TCP sockets
    DeviceIoctl = 5, // ioctl on device files
    Scopes = 6,      // signals and abstract UNIX sockets towards processes outside the domain
};
// Levels above this add nothing that restricts more (level 7 adds audit logging only).
inline constexpr LandlockLevel kNewestLandlockLevel = LandlockLevel::Scopes;

// What a ruleset handles, or a rule allows, in the kernel's own bits.
struct LandlockRights {
    std::uint64_t files = 0;
    std::uint64_t network = 0;
    std::uint64_t scopes = 0;
};

// Access rights to files, one bit each, as the kernel numbers them. Debian 12's headers stop at
// Refer, so they are spelled out here.
namespace landlock_file {
inline constexpr std::uint64_t kExecute = 1ULL << 0;
inline constexpr std::uint64_t kWriteFile = 1ULL << 1;
inline constexpr std::uint64_t kReadFile = 1ULL << 2;
inline constexpr std::uint64_t kReadDir = 1ULL << 3;
inline constexpr std::uint64_t kRemoveDir = 1ULL << 4;
inline constexpr std::uint64_t kRemoveFile = 1ULL << 5;
inline constexpr std::uint64_t kMakeChar = 1ULL << 6;
inline constexpr std::uint64_t kMakeDir = 1ULL << 7;
inline constexpr std::uint64_t kMakeReg = 1ULL << 8;
inline constexpr std::uint64_t kMakeSock = 1ULL << 9;
inline constexpr std::uint64_t kMakeFifo = 1ULL << 10;
inline constexpr std::uint64_t kMakeBlock = 1ULL << 11;
inline constexpr std::uint64_t kMakeSym = 1ULL << 12;
inline constexpr std::uint64_t kRefer = 1ULL << 13;
inline constexpr std::uint64_t kTruncate = 1ULL << 14;
inline constexpr std::uint64_t kIoctlDev = 1ULL << 15;
} // namespace landlock_file

namespace landlock_net {
inline constexpr std::uint64_t kBindTcp = 1ULL << 0;
inline constexpr std::uint64_t kConnectTcp = 1ULL << 1;
} // namespace landlock_net

namespace landlock_scope {
inline constexpr std::uint64_t kAbstractUnixSocket = 1ULL << 0;
inline constexpr std::uint64_t kSignal = 1ULL << 1;
} // namespace landlock_scope

// The level the running kernel offers (None when it has no Landlock or it is switched off),
// no higher than the newest this program knows.
LandlockLevel kernelLandlockLevel();

// Every right a ruleset of `level` can handle.
LandlockRights landlockRightsOf(LandlockLevel level);

// One Landlock ruleset: what it handles is refused to the process once enforced, except where a
// rule allows it. Every step reports failure instead of throwing; a ruleset that could not be
// made enforces nothing.
class LandlockRuleset {
public:
    // Handles `handled`, cut down to what `level` knows. `level` None makes no ruleset.
    LandlockRuleset(LandlockLevel level, const LandlockRights& handled);

    LandlockLevel level() const { return level_; }
    // What the ruleset handles.
    const LandlockRights& handled() const { return handled_; }
    bool valid() const { return ruleset_.valid(); }

    // Allows `fileRights` (of those handled) beneath the folder or on the file at `path`. False
    // when there is nothing to open there (a missing /dev/dri, for one) or the kernel refuses.
    bool allowBeneath(const char* path, std::uint64_t fileRights);
    // Allows connecting TCP sockets to `port` (from level Tcp on).
    bool allowTcpConnect(std::uint16_t port);

    // Restricts the calling thread, and every thread and process it starts from now on. The
    // thread must have no_new_privs set (or the capability to do without). True when enforced.
    bool enforce();

private:
    LandlockLevel level_;
    LandlockRights handled_;
    UniqueFd ruleset_;
};

} // namespace orlix::platform
