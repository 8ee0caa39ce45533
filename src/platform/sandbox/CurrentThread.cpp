#include "platform/sandbox/CurrentThread.h"

#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>

namespace orlix::platform {

void nameCurrentThread(const char* name) {
    pthread_setname_np(pthread_self(), name);
}

void lowerCurrentThreadPriority() {
    // On Linux a nice value belongs to a thread, not to the whole process, and process 0 names
    // the calling thread (the only one the confined processes may name). Ten steps down weigh
    // about a tenth of a normal thread; a failure leaves the thread as it was.
    constexpr int kBackground = 10;
    const int now = ::getpriority(PRIO_PROCESS, 0);
    if (now < kBackground)
        ::setpriority(PRIO_PROCESS, 0, kBackground);
}

void idleCurrentThread() {
    const sched_param none{};
    if (pthread_setschedparam(pthread_self(), SCHED_IDLE, &none) != 0)
        ::setpriority(PRIO_PROCESS, 0, 19); // the least
}

} // namespace orlix::platform
