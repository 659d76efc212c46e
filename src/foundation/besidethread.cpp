#include "besidethread.h"

#include <pthread.h>
#include <sched.h>

std::thread startBeside(std::function<void()> work)
{
    std::thread thread(std::move(work));
    cpu_set_t others;
    if (sched_getaffinity(0, sizeof others, &others) == 0) {
        const int here = sched_getcpu();
        if (here >= 0 && here < CPU_SETSIZE)
            CPU_CLR(here, &others);
        // Set before the new thread first runs, so it starts elsewhere.
        if (CPU_COUNT(&others) > 0)
            pthread_setaffinity_np(thread.native_handle(), sizeof others, &others);
    }
    return thread;
}
