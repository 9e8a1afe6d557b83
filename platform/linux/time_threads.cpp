#include <cerrno>
#include <ctime>
#include <pthread.h>

#include "platform/platform.h"

static uint64_t clockMilliseconds(clockid_t clock) {
    timespec now;
    clock_gettime(clock, &now);
    return static_cast<uint64_t>(now.tv_sec) * 1000u +
           static_cast<uint64_t>(now.tv_nsec) / 1000000u;
}

uint32_t systemTickCount() { return static_cast<uint32_t>(clockMilliseconds(CLOCK_MONOTONIC)); }

uint64_t monotonicMilliseconds() { return clockMilliseconds(CLOCK_MONOTONIC); }

int64_t performanceCounter() {
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<int64_t>(now.tv_sec) * 1000000000 + now.tv_nsec;
}

int64_t performanceFrequency() { return 1000000000; }

void sleepMilliseconds(uint32_t ms) {
    timespec wait{static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1000000L};
    while (nanosleep(&wait, &wait) != 0 && errno == EINTR) {
    }
}

// A pthread start routine returns a pointer; the program's thread functions return a number.
struct ThreadStart {
    ThreadFunction function;
    void *argument;
};

static void *runThread(void *start) {
    const ThreadStart begin = *static_cast<ThreadStart *>(start);
    delete static_cast<ThreadStart *>(start);
    begin.function(begin.argument);
    return nullptr;
}

void *startThread(ThreadFunction function, void *argument) {
    static_assert(sizeof(pthread_t) <= sizeof(void *), "a thread id must fit a handle");
    ThreadStart *start = new ThreadStart{function, argument};
    pthread_t thread;
    if (pthread_create(&thread, nullptr, runThread, start) != 0) {
        delete start;
        return nullptr;
    }
    return reinterpret_cast<void *>(thread);
}

bool waitForThread(void *thread, uint32_t waitMs) {
    timespec until;
    clock_gettime(CLOCK_REALTIME, &until);
    until.tv_sec += static_cast<time_t>(waitMs / 1000);
    until.tv_nsec += static_cast<long>(waitMs % 1000) * 1000000L;
    if (until.tv_nsec >= 1000000000L) {
        until.tv_sec++;
        until.tv_nsec -= 1000000000L;
    }
    return pthread_timedjoin_np(reinterpret_cast<pthread_t>(thread), nullptr, &until) == 0;
}
