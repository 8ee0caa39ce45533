#include "platform/sandbox/ProgramLockdown.h"

#include "platform/sandbox/LandlockRuleset.h"
#include "platform/sandbox/SandboxPolicy.h"
#include "platform/sandbox/SeccompFilter.h"
#include "platform/sandbox/XDisplayAddress.h"

#include <QtGlobal>

#include <algorithm>
#include <sys/prctl.h>
#include <unistd.h>

namespace orlix::platform {

namespace {

using namespace landlock_file;

// Everything but reading is refused. The graphics devices are opened for writing (and driven by
// ioctl) by the OpenGL and Vulkan drivers a Qt platform may load. Nothing else needs an
// exception: X shared-memory images go through System V shared memory or memfd, Wayland
// buffers through memfd, neither of them a path in the file system; caches that fontconfig or
// Mesa cannot write are read-only caches to them.
constexpr std::uint64_t kReading = kReadFile | kReadDir;
constexpr const char* kGraphicsDevices = "/dev/dri";
constexpr std::uint64_t kGraphicsRights = kWriteFile | kIoctlDev;

LandlockLevel levelUpTo(int landlockCap) {
    return std::min(kernelLandlockLevel(),
                    static_cast<LandlockLevel>(
                        std::clamp(landlockCap, 0, static_cast<int>(kNewestLandlockLevel))));
}

} // namespace

int lockDownProgram(int landlockCap) {
    const LandlockLevel level = levelUpTo(landlockCap);
    const std::optional<std::uint16_t> xPort = xDisplayTcpPort(qgetenv("DISPLAY"));
    // Landlock needs it, and it keeps any program started later from gaining privileges.
    ::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0);

    LandlockRights handled = landlockRightsOf(level);
    handled.files &= ~kReading;
    // Scopes wait for lockDownConnections(): the display and the session bus may listen on
    // abstract sockets, and Qt asks with signal 0 whether the IBus daemon runs.
    handled.scopes = 0;
    LandlockRuleset ruleset(level, handled);
    ruleset.allowBeneath(kGraphicsDevices, kGraphicsRights);
    if (xPort)
        ruleset.allowTcpConnect(*xPort);
    const LandlockLevel enforced = ruleset.enforce() ? level : LandlockLevel::None;

    SeccompFilter filter(SyscallAction::allow());
    if (addProgramRules(filter, {enforced, ::getpid(), xPort.has_value()}))
        filter.install();
    return static_cast<int>(enforced);
}

bool lockDownConnections(int landlockCap) {
    if (levelUpTo(landlockCap) >= LandlockLevel::Scopes) {
        LandlockRights scoped;
        scoped.scopes = landlock_scope::kAbstractUnixSocket | landlock_scope::kSignal;
        LandlockRuleset(LandlockLevel::Scopes, scoped).enforce();
    }
    SeccompFilter filter(SyscallAction::allow());
    return addConnectionRules(filter) && filter.installOnAllThreads();
}

} // namespace orlix::platform
