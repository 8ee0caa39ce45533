#include "platform/sandbox/ProcessSetup.h"

#include "platform/sandbox/SanitizerBuild.h"

#include <cerrno>
#include <climits>
#include <csignal>
#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace orlix::platform {

namespace {

bool closeFrom(int first) {
    if (::syscall(SYS_close_range, static_cast<unsigned int>(first), ~0U, 0U) == 0)
        return true;
    if (errno != ENOSYS)
        return false;
    // Kernels before 5.9: the soft limit bounds every descriptor number in use.
    rlimit limit{};
    const long highest = ::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY
                             ? static_cast<long>(limit.rlim_cur)
                             : 65536;
    for (long fd = first; fd < highest; ++fd)
        ::close(static_cast<int>(fd));
    return true;
}

} // namespace

bool dieWithParent(pid_t parent) {
    return ::prctl(PR_SET_PDEATHSIG, SIGKILL) == 0 && ::getppid() == parent;
}

bool keepOnlyDescriptor(int keep, int at, bool inheritable) {
    if (keep == at) {
        if (::fcntl(at, F_SETFD, inheritable ? 0 : FD_CLOEXEC) != 0)
            return false;
    } else if (::dup3(keep, at, inheritable ? 0 : O_CLOEXEC) != at) {
        return false;
    }
    if (!closeFrom(at + 1))
        return false;
    for (int fd = STDERR_FILENO + 1; fd < at; ++fd)
        ::close(fd);
    int ends[2] = {-1, -1};
    if (::pipe2(ends, O_CLOEXEC) != 0)
        return false;
    ::close(ends[1]);
    // Above the standard numbers, should the program have started with one of them closed.
    const int dead = ::fcntl(ends[0], F_DUPFD_CLOEXEC, at + 1);
    ::close(ends[0]);
    const int lastStandard = kSanitizerBuild ? STDOUT_FILENO : STDERR_FILENO;
    bool placed = dead >= 0;
    for (int fd = STDIN_FILENO; placed && fd <= lastStandard; ++fd)
        placed = ::dup2(dead, fd) == fd;
    ::close(dead);
    return placed;
}

void forbidDumps() {
    const rlimit none{0, 0};
    ::setrlimit(RLIMIT_CORE, &none);
    ::prctl(PR_SET_DUMPABLE, 0, 0, 0, 0);
}

} // namespace orlix::platform
