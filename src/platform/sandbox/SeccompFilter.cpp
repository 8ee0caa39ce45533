#include "platform/sandbox/SeccompFilter.h"

#include "platform/ipc/UniqueFd.h"

#include <cerrno>
#include <linux/seccomp.h>
#include <seccomp.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/stat.h>

namespace orlix::platform {

namespace {

std::uint32_t actionOf(SyscallAction action) {
    return action.kind == SyscallAction::Kind::Allow ? SCMP_ACT_ALLOW
                                                     : SCMP_ACT_ERRNO(action.error);
}

scmp_arg_cmp comparisonOf(const ArgumentTest& test) {
    switch (test.kind) {
    case ArgumentTest::Kind::NotEqual:
        return SCMP_CMP(test.index, SCMP_CMP_NE, test.value);
    case ArgumentTest::Kind::MaskedEqual:
        return SCMP_CMP(test.index, SCMP_CMP_MASKED_EQ, test.mask, test.value);
    case ArgumentTest::Kind::Above:
        return SCMP_CMP(test.index, SCMP_CMP_GT, test.value);
    case ArgumentTest::Kind::AtMost:
        return SCMP_CMP(test.index, SCMP_CMP_LE, test.value);
    case ArgumentTest::Kind::None:
    case ArgumentTest::Kind::Equal:
        break;
    }
    return SCMP_CMP(test.index, SCMP_CMP_EQ, test.value);
}

int numberOf(const SyscallName& call) {
    const int resolved = seccomp_syscall_resolve_name(call.name);
    return resolved != __NR_SCMP_ERROR ? resolved : call.number;
}

} // namespace

SeccompFilter::SeccompFilter(SyscallAction otherwise)
    : context_(seccomp_init(actionOf(otherwise))) {
    broken_ = context_ == nullptr ||
              seccomp_attr_set(context_, SCMP_FLTATR_ACT_BADARCH, SCMP_ACT_KILL_PROCESS) != 0;
}

SeccompFilter::~SeccompFilter() {
    if (context_)
        seccomp_release(context_);
}

bool SeccompFilter::add(SyscallAction action, SyscallName call, ArgumentTest first,
                        ArgumentTest second) {
    const int number = numberOf(call);
    if (broken_ || number < 0)
        return !broken_;
    scmp_arg_cmp tests[2];
    unsigned int count = 0;
    for (const ArgumentTest& test : {first, second}) {
        if (test.kind != ArgumentTest::Kind::None)
            tests[count++] = comparisonOf(test);
    }
    const int rc = seccomp_rule_add_array(context_, actionOf(action), number, count, tests);
    // -EACCES: the filter does that with the call anyway; nothing to add.
    if (rc != 0 && rc != -EACCES)
        broken_ = true;
    return !broken_;
}

std::vector<sock_filter> SeccompFilter::compiled() const {
    if (broken_)
        return {};
    // libseccomp 2.5 hands the program out only through a descriptor.
    const UniqueFd memory(::memfd_create("seccomp", MFD_CLOEXEC));
    struct stat info {};
    if (!memory || seccomp_export_bpf(context_, memory.get()) != 0 ||
        ::fstat(memory.get(), &info) != 0 || info.st_size <= 0 ||
        info.st_size % sizeof(sock_filter) != 0)
        return {};
    std::vector<sock_filter> program(static_cast<std::size_t>(info.st_size) / sizeof(sock_filter));
    if (::pread(memory.get(), program.data(), static_cast<std::size_t>(info.st_size), 0) !=
        info.st_size)
        return {};
    return program;
}

bool SeccompFilter::install() {
    return !broken_ && seccomp_load(context_) == 0;
}

bool SeccompFilter::installOnAllThreads() {
    return !broken_ && seccomp_attr_set(context_, SCMP_FLTATR_CTL_TSYNC, 1) == 0 &&
           seccomp_load(context_) == 0;
}

bool installFilter(const std::vector<sock_filter>& program) {
    if (program.empty() || ::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0)
        return false;
    const sock_fprog filter{static_cast<unsigned short>(program.size()),
                            const_cast<sock_filter*>(program.data())};
    return ::prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &filter) == 0;
}

} // namespace orlix::platform
