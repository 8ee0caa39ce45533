#include "platform/ThreadName.h"

#include <pthread.h>

namespace orlix::platform {

void nameCurrentThread(const char* name) {
    pthread_setname_np(pthread_self(), name);
}

} // namespace orlix::platform
