#pragma once

#include <QString>

#include <cstdint>
#include <map>
#include <vector>

namespace orlix::bench {

// What /proc tells of a process and every process below it (its children, theirs, and so on):
// a viewer with all its helpers, read as the machine's own accounting has them.
class ProcessTree {
public:
    explicit ProcessTree(std::int64_t root) : root_(root) {}

    // The root and every living process below it.
    std::vector<std::int64_t> processes() const;

    // Processor time, user and system, in seconds: of every process of the tree, with the
    // processes it has ended and waited for (/proc/<pid>/stat; in clock ticks of 10 ms).
    double processorSeconds() const;

    // The proportional set size of all the tree's processes, in KiB (/proc/<pid>/smaps_rollup);
    // `unreadable` counts the processes whose figure could not be read (another user's, or
    // one that ended meanwhile).
    std::int64_t pssKiB(int* unreadable = nullptr) const;

    // Processor time of every living thread of the tree in nanoseconds, from the scheduler's
    // own accounting (/proc/<pid>/task/<tid>/schedstat), by thread id.
    struct Thread {
        QString name; // "<process name>/<thread name>"
        std::int64_t nanoseconds = 0;
    };
    std::map<std::int64_t, Thread> threads() const;

    // Processor seconds of any one process alone (without its children), e.g. the X server.
    static double processorSecondsOf(std::int64_t process);

private:
    std::int64_t root_;
};

} // namespace orlix::bench
