#include "platform/sandbox/SandboxPolicy.h"

#include "platform/sandbox/DecoderProcess.h"
#include "platform/sandbox/SanitizerBuild.h"
#include "platform/sandbox/SeccompFilter.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <linux/sched.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

namespace orlix::platform {

namespace {

struct Rule {
    SyscallName call;
    ArgumentTest first = ArgumentTest::any();
    ArgumentTest second = ArgumentTest::any();
};

using Test = ArgumentTest;
const Test kNoExec = Test::masked(2, PROT_EXEC, 0);
// The flags of clone that make namespaces (CLONE_NEWTIME shares its bit with the exit signal
// in clone and is given to clone3 only, which is refused).
constexpr std::uint64_t kNamespaceFlags[] = {CLONE_NEWNS,    CLONE_NEWUSER, CLONE_NEWPID,
                                             CLONE_NEWNET,   CLONE_NEWIPC,  CLONE_NEWUTS,
                                             CLONE_NEWCGROUP};
constexpr std::uint64_t kAnyNamespace = CLONE_NEWNS | CLONE_NEWUSER | CLONE_NEWPID | CLONE_NEWNET |
                                        CLONE_NEWIPC | CLONE_NEWUTS | CLONE_NEWCGROUP;
// A new thread, never a process and never in a namespace of its own.
constexpr std::uint64_t kThreadOrNamespace = CLONE_THREAD | kAnyNamespace;
// A priority is asked or changed of the calling thread alone (on Linux a nice value is a
// thread's): not of another process, a process group or a user, whose ids it would tell.
const Test kThisProcess = Test::equal(0, PRIO_PROCESS);
const Test kCallingThread = Test::equal(1, 0);

// Decoding: its memory, the threads of a two-band JPEG decode and of Qt's conversions of large
// pictures, the request and the pixels of the answer.
const Rule kDecoderAllowed[] = {
    {{"brk"}},
    {{"mmap"}, kNoExec},
    {{"mprotect"}, kNoExec},
    {{"munmap"}},
    {{"mremap"}},
    {{"madvise"}},
    {{"clone"}, Test::masked(0, kThreadOrNamespace, CLONE_THREAD)},
    {{"futex"}},
    {{"set_robust_list"}},
    {{"rseq"}},
    {{"sched_yield"}},
    {{"sched_getaffinity"}},
    {{"gettid"}},
    {{"getpid"}},
    {{"rt_sigprocmask"}},
    {{"rt_sigaction"}},
    {{"rt_sigreturn"}},
    {{"prctl"}, Test::equal(0, PR_SET_NAME)},
    {{"getpriority"}, kThisProcess, kCallingThread},
    {{"setpriority"}, kThisProcess, kCallingThread},
    {{"clock_gettime"}},
    {{"clock_nanosleep"}},
    {{"nanosleep"}},
    {{"getrandom"}},
    {{"exit"}},
    {{"exit_group"}},
    {{"recvmsg"}, Test::equal(0, kDecoderChannelDescriptor)},
    {{"sendmsg"}, Test::equal(0, kDecoderChannelDescriptor)},
    {{"close"}},
    {{"memfd_create"}},
    {{"fcntl"}, Test::equal(1, F_ADD_SEALS)},
    {{"fcntl"}, Test::equal(1, F_GET_SEALS)},
};

// What the forking process does besides what its decoder processes do (its filter is theirs
// too, beneath their own): it waits for requests and for decoder processes to end, makes each
// one's channel, forks it and ends it; the new process sets itself up before its own filter.
// kill: SIGKILL only, to a process id (a negative one would name a group, and the forking
// process is the leader of its own session, so 0 names only it and its decoders).
constexpr std::uint64_t kNegativePid = 0xffffffff80000000ULL;
const Rule kZygoteAllowed[] = {
    {{"ppoll"}},
    {{"poll"}},
    {{"wait4"}},
    {{"kill"}, Test::masked(0, kNegativePid, 0), Test::equal(1, SIGKILL)},
    {{"socketpair"}, Test::equal(0, AF_UNIX)},
    {{"clone"}, Test::masked(0, kThreadOrNamespace, 0)},
    {{"getppid"}},
    {{"prctl"}, Test::equal(0, PR_SET_PDEATHSIG)},
    {{"prctl"}, Test::equal(0, PR_SET_NO_NEW_PRIVS)},
    {{"prctl"}, Test::equal(0, PR_SET_SECCOMP)},
    {{"prlimit64"}, Test::equal(0, 0)},
    {{"close_range", 436}},
    {{"pipe2"}},
    {{"dup2"}, Test::atMost(1, STDERR_FILENO)},
    {{"dup3"}, Test::equal(1, kDecoderChannelDescriptor)},
    {{"fcntl"}, Test::equal(1, F_SETFD)},
    {{"fcntl"}, Test::equal(1, F_DUPFD_CLOEXEC)},
    {{"write"}, Test::equal(0, kZygoteOomScoreDescriptor)},
};

// A sanitizer writes its reports to standard error, and tells whether memory can be read (as
// UndefinedBehaviorSanitizer does for every pointer to a class with virtual functions) by
// writing it into a pipe of its own.
const Rule kDecoderAllowedForSanitizers[] = {
    {{"write"}}, {{"read"}}, {{"pipe"}}, {{"pipe2"}}, {{"sigaltstack"}},
};

// A call the program gives up, unless its Landlock level refuses it already (from `coveredFrom`
// on; kNotCovered: never).
struct Refusal {
    Rule rule;
    LandlockLevel coveredFrom;
    int error = EPERM;
    // LeakSanitizer stops the program's threads with ptrace to look for leaks at its end.
    bool sanitizersNeedIt = false;
};
constexpr auto kNotCovered = static_cast<LandlockLevel>(1000);

constexpr std::uint64_t kTmpFile = O_TMPFILE & ~O_DIRECTORY;

const Refusal kProgramRefused[] = {
    // Truncating a file.
    {{{"truncate"}}, LandlockLevel::Truncate},
    {{{"open"}, Test::masked(1, O_TRUNC, O_TRUNC)}, LandlockLevel::Truncate},
    {{{"openat"}, Test::masked(2, O_TRUNC, O_TRUNC)}, LandlockLevel::Truncate},
    // Making, removing and renaming files, folders and links, and starting programs.
    {{{"creat"}}, LandlockLevel::Files},
    {{{"open"}, Test::masked(1, O_CREAT, O_CREAT)}, LandlockLevel::Files},
    {{{"openat"}, Test::masked(2, O_CREAT, O_CREAT)}, LandlockLevel::Files},
    {{{"mknod"}}, LandlockLevel::Files},
    {{{"mknodat"}}, LandlockLevel::Files},
    {{{"mkdir"}}, LandlockLevel::Files},
    {{{"mkdirat"}}, LandlockLevel::Files},
    {{{"rmdir"}}, LandlockLevel::Files},
    {{{"unlink"}}, LandlockLevel::Files},
    {{{"unlinkat"}}, LandlockLevel::Files},
    {{{"link"}}, LandlockLevel::Files},
    {{{"linkat"}}, LandlockLevel::Files},
    {{{"symlink"}}, LandlockLevel::Files},
    {{{"symlinkat"}}, LandlockLevel::Files},
    {{{"rename"}}, LandlockLevel::Files},
    {{{"renameat"}}, LandlockLevel::Files},
    {{{"renameat2"}}, LandlockLevel::Files},
    // Starting a program: Landlock covers files but not memory, and a program copied into a
    // memfd would run through fexecve.
    {{{"execve"}}, kNotCovered},
    {{{"execveat"}}, kNotCovered},
    // Unnamed files that a link would name later, and the open whose flags a filter cannot see.
    {{{"open"}, Test::masked(1, kTmpFile, kTmpFile)}, kNotCovered},
    {{{"openat"}, Test::masked(2, kTmpFile, kTmpFile)}, kNotCovered},
    {{{"openat2", 437}}, kNotCovered, ENOSYS},
    // Owners, modes, times and extended attributes, which Landlock leaves alone.
    {{{"chmod"}}, kNotCovered},
    {{{"fchmod"}}, kNotCovered},
    {{{"fchmodat"}}, kNotCovered},
    {{{"fchmodat2", 452}}, kNotCovered},
    {{{"chown"}}, kNotCovered},
    {{{"fchown"}}, kNotCovered},
    {{{"lchown"}}, kNotCovered},
    {{{"fchownat"}}, kNotCovered},
    {{{"utime"}}, kNotCovered},
    {{{"utimes"}}, kNotCovered},
    {{{"utimensat"}}, kNotCovered},
    {{{"futimesat"}}, kNotCovered},
    {{{"setxattr"}}, kNotCovered},
    {{{"lsetxattr"}}, kNotCovered},
    {{{"fsetxattr"}}, kNotCovered},
    {{{"setxattrat", 463}}, kNotCovered},
    {{{"removexattr"}}, kNotCovered},
    {{{"lremovexattr"}}, kNotCovered},
    {{{"fremovexattr"}}, kNotCovered},
    {{{"removexattrat", 466}}, kNotCovered},
    {{{"file_setattr", 469}}, kNotCovered},
    // Typing into the terminal the program was started from.
    {{{"ioctl"}, Test::equal(1, TIOCSTI)}, kNotCovered},
    {{{"ioctl"}, Test::equal(1, TIOCLINUX)}, kNotCovered},
    // Other processes: tracing them, reading or writing their memory, taking their descriptors.
    {{{"ptrace"}}, kNotCovered, EPERM, true},
    {{{"process_vm_readv"}}, kNotCovered},
    {{{"process_vm_writev"}}, kNotCovered},
    {{{"pidfd_getfd", 438}}, kNotCovered},
    {{{"kcmp"}}, kNotCovered},
    // File systems, namespaces and the system itself (most need privileges the user may have).
    {{{"io_uring_setup", 425}}, kNotCovered},
    {{{"mount"}}, kNotCovered},
    {{{"umount2"}}, kNotCovered},
    {{{"pivot_root"}}, kNotCovered},
    {{{"chroot"}}, kNotCovered},
    {{{"unshare"}}, kNotCovered},
    {{{"setns"}}, kNotCovered},
    {{{"open_tree", 428}}, kNotCovered},
    {{{"move_mount", 429}}, kNotCovered},
    {{{"fsopen", 430}}, kNotCovered},
    {{{"fsconfig", 431}}, kNotCovered},
    {{{"fsmount", 432}}, kNotCovered},
    {{{"fspick", 433}}, kNotCovered},
    {{{"mount_setattr", 442}}, kNotCovered},
    {{{"open_tree_attr", 467}}, kNotCovered},
    {{{"name_to_handle_at"}}, kNotCovered},
    {{{"open_by_handle_at"}}, kNotCovered},
    {{{"bpf"}}, kNotCovered},
    {{{"perf_event_open"}}, kNotCovered},
    {{{"userfaultfd"}}, kNotCovered},
    {{{"kexec_load"}}, kNotCovered},
    {{{"kexec_file_load"}}, kNotCovered},
    {{{"init_module"}}, kNotCovered},
    {{{"finit_module"}}, kNotCovered},
    {{{"delete_module"}}, kNotCovered},
    {{{"reboot"}}, kNotCovered},
    {{{"swapon"}}, kNotCovered},
    {{{"swapoff"}}, kNotCovered},
    {{{"acct"}}, kNotCovered},
    {{{"quotactl"}}, kNotCovered},
    {{{"quotactl_fd", 443}}, kNotCovered},
    {{{"add_key"}}, kNotCovered},
    {{{"request_key"}}, kNotCovered},
    {{{"keyctl"}}, kNotCovered},
    {{{"syslog"}}, kNotCovered},
    {{{"ioperm"}}, kNotCovered},
    {{{"iopl"}}, kNotCovered},
    {{{"settimeofday"}}, kNotCovered},
    {{{"clock_settime"}}, kNotCovered},
    {{{"clock_adjtime"}}, kNotCovered},
    {{{"adjtimex"}}, kNotCovered},
    {{{"sethostname"}}, kNotCovered},
    {{{"setdomainname"}}, kNotCovered},
    {{{"vhangup"}}, kNotCovered},
};

// Address families the program may open sockets of: local ones for the display and the session
// bus, netlink for the C library's look at the network interfaces. Higher numbers are refused as
// a whole.
constexpr int kHighestFamily = AF_MAX;
// The socket type's bits (the rest are flags such as SOCK_CLOEXEC).
constexpr int kSocketTypeMask = 0xf;

bool familyAllowed(int family, bool tcpDisplay) {
    return family == AF_UNIX || family == AF_NETLINK ||
           (tcpDisplay && (family == AF_INET || family == AF_INET6));
}

bool addAll(SeccompFilter& filter, SyscallAction action, const Rule* begin, const Rule* end) {
    bool added = true;
    for (const Rule* rule = begin; rule != end; ++rule)
        added = filter.add(action, rule->call, rule->first, rule->second) && added;
    return added;
}

} // namespace

bool addDecoderRules(SeccompFilter& filter, const DecoderProgram& program) {
    bool added = addAll(filter, SyscallAction::allow(), std::begin(kDecoderAllowed),
                        std::end(kDecoderAllowed));
    // The file it reads; whether it changed while it was read; the size of the memory it maps.
    const std::uint64_t read = static_cast<std::uint64_t>(program.readSlot);
    const std::uint64_t map = static_cast<std::uint64_t>(program.mapSlot);
    const Rule slotRules[] = {
        {{"pread64"}, Test::equal(0, read)},    {{"fstat"}, Test::equal(0, read)},
        {{"newfstatat"}, Test::equal(0, read)}, {{"fstat"}, Test::equal(0, map)},
        {{"newfstatat"}, Test::equal(0, map)},  {{"dup3"}, Test::equal(1, read)},
        {{"dup3"}, Test::equal(1, map)},
    };
    if (program.readSlot >= 0 && program.mapSlot >= 0)
        added =
            addAll(filter, SyscallAction::allow(), std::begin(slotRules), std::end(slotRules)) &&
            added;
    // Shared memory no larger than the largest the decoder makes: a memfd's pages count in no
    // address-space limit. Only ftruncate sizes it; fallocate and writes stay refused.
    const auto largest =
        static_cast<std::uint64_t>(std::max<std::int64_t>(program.largestSharedMemory, 0));
    added = filter.add(SyscallAction::allow(), {"ftruncate"}, Test::atMost(1, largest)) && added;
    if (kSanitizerBuild)
        added = addAll(filter, SyscallAction::allow(), std::begin(kDecoderAllowedForSanitizers),
                       std::end(kDecoderAllowedForSanitizers)) &&
                added;
    // The C library falls back to clone, whose flags the filter can see, when clone3 is missing.
    return filter.add(SyscallAction::fail(ENOSYS), {"clone3", 435}) && added;
}

bool addZygoteRules(SeccompFilter& filter, const DecoderProgram& program) {
    return addAll(filter, SyscallAction::allow(), std::begin(kZygoteAllowed),
                  std::end(kZygoteAllowed)) &&
           addDecoderRules(filter, program);
}

bool addProgramRules(SeccompFilter& filter, const ProgramNeeds& needs) {
    bool added = true;
    for (const Refusal& refusal : kProgramRefused) {
        if (needs.landlock < refusal.coveredFrom && !(kSanitizerBuild && refusal.sanitizersNeedIt))
            added = filter.add(SyscallAction::fail(refusal.error), refusal.rule.call,
                               refusal.rule.first, refusal.rule.second) &&
                    added;
    }
    const SyscallAction refuse = SyscallAction::fail(EPERM);
    for (int family = 0; family <= kHighestFamily; ++family) {
        if (!familyAllowed(family, needs.tcpDisplay))
            added = filter.add(refuse, {"socket"}, Test::equal(0, family)) && added;
    }
    added = filter.add(refuse, {"socket"}, Test::above(0, kHighestFamily)) && added;
    added = filter.add(refuse, {"socketpair"}, Test::notEqual(0, AF_UNIX)) && added;
    if (needs.tcpDisplay) {
        // TCP to the X server only: datagrams and raw packets stay refused.
        for (const int family : {AF_INET, AF_INET6}) {
            for (int type = 0; type <= kSocketTypeMask; ++type) {
                if (type != SOCK_STREAM)
                    added = filter.add(refuse, {"socket"}, Test::equal(0, family),
                                       Test::masked(1, kSocketTypeMask, type)) &&
                            added;
            }
        }
    }
    // Namespaces of its own, which would give it rights over them; clone3, whose flags a filter
    // cannot see, is answered as missing, and the C library falls back to clone.
    for (const std::uint64_t flag : kNamespaceFlags)
        added = filter.add(refuse, {"clone"}, Test::masked(0, flag, flag)) && added;
    added = filter.add(SyscallAction::fail(ENOSYS), {"clone3", 435}) && added;
    for (const char* call : {"getpriority", "setpriority"}) {
        added = filter.add(refuse, {call}, Test::notEqual(0, PRIO_PROCESS)) &&
                filter.add(refuse, {call}, Test::notEqual(1, 0)) && added;
    }
    // Signals to the program itself only (the C library's abort and raise among them), at every
    // level: the program's Landlock scope for signals comes only once its connections are open
    // (lockDownConnections). Signal 0 sends nothing and asks only whether a process is there
    // (what /proc tells anyway): Qt asks it of the IBus daemon before it connects to it.
    const auto self = static_cast<std::uint64_t>(needs.self);
    added = filter.add(refuse, {"kill"}, Test::notEqual(0, self), Test::notEqual(1, 0)) &&
            filter.add(refuse, {"tgkill"}, Test::notEqual(0, self), Test::notEqual(2, 0)) &&
            filter.add(refuse, {"rt_sigqueueinfo"}, Test::notEqual(0, self)) &&
            filter.add(refuse, {"rt_tgsigqueueinfo"}, Test::notEqual(0, self)) &&
            filter.add(refuse, {"tkill"}) && filter.add(refuse, {"pidfd_send_signal", 424}) &&
            added;
    return added;
}

bool addConnectionRules(SeccompFilter& filter) {
    const SyscallAction refuse = SyscallAction::fail(EPERM);
    // No new socket of any family. A pair of connected sockets reaches only itself, but a
    // datagram socket may still send to any address (SOCK_RAW is a datagram one here).
    return filter.add(refuse, {"socket"}) &&
           filter.add(refuse, {"socketpair"}, Test::masked(1, kSocketTypeMask, SOCK_DGRAM)) &&
           filter.add(refuse, {"socketpair"}, Test::masked(1, kSocketTypeMask, SOCK_RAW));
}

} // namespace orlix::platform
