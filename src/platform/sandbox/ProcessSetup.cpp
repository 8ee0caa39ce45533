#include "platform/sandbox/ProcessSetup.h"

#include "platform/sandbox/SanitizerBuild.h"

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <linux/capability.h>
#include <string>
#include <string_view>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>
#include <utility>
#include <vector>

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

void keepOnlyEnvironment(const char* const* kept) {
    std::vector<std::pair<std::string, char*>> dropped;
    for (char** entry = environ; entry && *entry; ++entry) {
        const std::string_view text(*entry);
        const std::string_view name = text.substr(0, text.find('='));
        bool keep = false;
        for (const char* const* wanted = kept; wanted && *wanted && !keep; ++wanted)
            keep = name == *wanted;
        if (!keep)
            dropped.emplace_back(name, *entry);
    }
    for (const auto& [name, text] : dropped) {
        ::unsetenv(name.c_str());
        // The text stays where the system or setenv put it (neither frees it) until overwritten.
        std::memset(text, 0, std::strlen(text));
    }
}

bool dropCapabilities() {
    // The bounding set first: dropping from it takes CAP_SETPCAP, itself given up below. Without
    // CAP_SETPCAP it stays, which matters only to a program started later, and none can be.
    for (int capability = 0; ::prctl(PR_CAPBSET_READ, capability, 0, 0, 0) >= 0; ++capability)
        ::prctl(PR_CAPBSET_DROP, capability, 0, 0, 0);
    ::prctl(PR_CAP_AMBIENT, PR_CAP_AMBIENT_CLEAR_ALL, 0, 0, 0);
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct none[_LINUX_CAPABILITY_U32S_3] = {};
    if (::syscall(SYS_capset, &header, none) != 0)
        return false;
    __user_cap_data_struct held[_LINUX_CAPABILITY_U32S_3] = {};
    if (::syscall(SYS_capget, &header, held) != 0)
        return false;
    for (const __user_cap_data_struct& word : held) {
        if (word.effective != 0 || word.permitted != 0 || word.inheritable != 0)
            return false;
    }
    return true;
}

} // namespace orlix::platform
