#include "platform/sandbox/LandlockRuleset.h"

#include <algorithm>
#include <fcntl.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace orlix::platform {

namespace {

// The kernel's structures, as the newest kernels define them: Debian 12's headers know only the
// first member of the ruleset's. An older kernel takes the longer structure as long as what it
// does not know is zero, which rightsOf() sees to.
struct RulesetAttr {
    std::uint64_t handledFiles;
    std::uint64_t handledNetwork;
    std::uint64_t scoped;
};

struct __attribute__((packed)) PathBeneathAttr {
    std::uint64_t allowed;
    std::int32_t parentFd;
};

struct NetPortAttr {
    std::uint64_t allowed;
    std::uint64_t port;
};

enum RuleType : int { kPathBeneath = 1, kNetPort = 2 };
constexpr unsigned int kAskVersion = 1U << 0;

// What each level added.
struct LevelRights {
    LandlockLevel level;
    LandlockRights added;
};

using namespace landlock_file;
constexpr LevelRights kAdded[] = {
    {LandlockLevel::Files,
     {kExecute | kWriteFile | kReadFile | kReadDir | kRemoveDir | kRemoveFile | kMakeChar |
          kMakeDir | kMakeReg | kMakeSock | kMakeFifo | kMakeBlock | kMakeSym,
      0, 0}},
    {LandlockLevel::Refer, {kRefer, 0, 0}},
    {LandlockLevel::Truncate, {kTruncate, 0, 0}},
    {LandlockLevel::Tcp, {0, landlock_net::kBindTcp | landlock_net::kConnectTcp, 0}},
    {LandlockLevel::DeviceIoctl, {kIoctlDev, 0, 0}},
    {LandlockLevel::Scopes, {0, 0, landlock_scope::kAbstractUnixSocket | landlock_scope::kSignal}},
};

} // namespace

LandlockLevel kernelLandlockLevel() {
    const long abi = ::syscall(SYS_landlock_create_ruleset, nullptr, 0, kAskVersion);
    if (abi <= 0)
        return LandlockLevel::None;
    return static_cast<LandlockLevel>(std::min<long>(abi, static_cast<long>(kNewestLandlockLevel)));
}

LandlockRights landlockRightsOf(LandlockLevel level) {
    LandlockRights rights;
    for (const LevelRights& step : kAdded) {
        if (step.level > level)
            break;
        rights.files |= step.added.files;
        rights.network |= step.added.network;
        rights.scopes |= step.added.scopes;
    }
    return rights;
}

LandlockRuleset::LandlockRuleset(LandlockLevel level, const LandlockRights& handled)
    : level_(level) {
    const LandlockRights known = landlockRightsOf(level);
    handled_ = {handled.files & known.files, handled.network & known.network,
                handled.scopes & known.scopes};
    if (level == LandlockLevel::None)
        return;
    const RulesetAttr attr{handled_.files, handled_.network, handled_.scopes};
    ruleset_.reset(
        static_cast<int>(::syscall(SYS_landlock_create_ruleset, &attr, sizeof attr, 0U)));
}

bool LandlockRuleset::allowBeneath(const char* path, std::uint64_t fileRights) {
    if (!valid())
        return false;
    const UniqueFd parent(::open(path, O_PATH | O_CLOEXEC));
    if (!parent)
        return false;
    const PathBeneathAttr rule{fileRights & handled_.files, parent.get()};
    return rule.allowed != 0 &&
           ::syscall(SYS_landlock_add_rule, ruleset_.get(), kPathBeneath, &rule, 0U) == 0;
}

bool LandlockRuleset::allowTcpConnect(std::uint16_t port) {
    if (!valid() || (handled_.network & landlock_net::kConnectTcp) == 0)
        return false;
    const NetPortAttr rule{landlock_net::kConnectTcp, port};
    return ::syscall(SYS_landlock_add_rule, ruleset_.get(), kNetPort, &rule, 0U) == 0;
}

bool LandlockRuleset::enforce() {
    return valid() && ::syscall(SYS_landlock_restrict_self, ruleset_.get(), 0U) == 0;
}

} // namespace orlix::platform
