#pragma once

#include <cstdint>
#include <vector>

#include <linux/filter.h>

namespace orlix::platform {

// What a filter does with a system call.
struct SyscallAction {
    enum class Kind { Allow, Fail };
    Kind kind = Kind::Allow;
    int error = 0; // the errno of a Fail

    static SyscallAction allow() { return {Kind::Allow, 0}; }
    static SyscallAction fail(int error) { return {Kind::Fail, error}; }
};

// A test of one argument of a system call.
struct ArgumentTest {
    enum class Kind { None, Equal, NotEqual, MaskedEqual, Above, AtMost };
    Kind kind = Kind::None;
    unsigned int index = 0; // which argument, from 0
    std::uint64_t mask = 0;
    std::uint64_t value = 0;

    static ArgumentTest any() { return {}; }
    static ArgumentTest equal(unsigned int index, std::uint64_t value) {
        return {Kind::Equal, index, 0, value};
    }
    static ArgumentTest notEqual(unsigned int index, std::uint64_t value) {
        return {Kind::NotEqual, index, 0, value};
    }
    // (argument & mask) == value
    static ArgumentTest masked(unsigned int index, std::uint64_t mask, std::uint64_t value) {
        return {Kind::MaskedEqual, index, mask, value};
    }
    static ArgumentTest above(unsigned int index, std::uint64_t value) {
        return {Kind::Above, index, 0, value};
    }
    // Unsigned: a negative argument is above every limit.
    static ArgumentTest atMost(unsigned int index, std::uint64_t value) {
        return {Kind::AtMost, index, 0, value};
    }
};

// A system call by name. Calls newer than the installed libseccomp knows are given by
// `number` too; from 424 on every architecture shares the kernel's numbers.
struct SyscallName {
    const char* name;
    int number = -1;
};

// A seccomp filter of the calling process's own architecture, built with libseccomp. Calls of
// any other architecture (32-bit calls on a 64-bit system) end the process, so they cannot go
// round the filter.
class SeccompFilter {
public:
    explicit SeccompFilter(SyscallAction otherwise);
    ~SeccompFilter();
    SeccompFilter(const SeccompFilter&) = delete;
    SeccompFilter& operator=(const SeccompFilter&) = delete;

    // Adds `action` for calls of `call` that pass both tests (of two different arguments).
    // Several rules for one call match when any of them does. A call the running system does not
    // know is passed over. False when libseccomp refuses the rule.
    bool add(SyscallAction action, SyscallName call, ArgumentTest first = ArgumentTest::any(),
             ArgumentTest second = ArgumentTest::any());

    // The filter as the kernel runs it, for a process to install later with installFilter()
    // (making it once serves many processes). Empty on failure.
    std::vector<sock_filter> compiled() const;

    // Installs the filter on the calling thread; no_new_privs is set first. True on success.
    bool install();
    // Installs the filter on every thread of the process at once (each must have no_new_privs
    // and run under the same filters as the calling thread, as threads started after an earlier
    // install() do). True on success; on failure no thread has it.
    bool installOnAllThreads();

private:
    void* context_;
    bool broken_ = false;
};

// Installs a filter that compiled() made, on the calling thread, setting no_new_privs first.
bool installFilter(const std::vector<sock_filter>& program);

} // namespace orlix::platform
