#include <cerrno>
#include <ctime>
#include <pthread.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

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
    if (waitMs == waitForever)
        return pthread_join(reinterpret_cast<pthread_t>(thread), nullptr) == 0;
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

// A thread that was waited for has been joined, and with that released.
void releaseThread(void *) {}

// The nice value the thread asks for. Real-time scheduling would put the thread above everything
// the system runs, so that a thread that spins could starve it; a low nice value of the normal
// class wins the processor often enough for the sound and keeps the system responsive.
constexpr int raisedNiceValue = -10;

void raiseThreadPriority() {
    // On Linux a thread's nice value is its own: PRIO_PROCESS with the thread's id sets it alone.
    const id_t thread = static_cast<id_t>(syscall(SYS_gettid));
    errno = 0;
    const int current = getpriority(PRIO_PROCESS, thread);
    if (errno != 0 || current <= raisedNiceValue)
        return;
    if (setpriority(PRIO_PROCESS, thread, raisedNiceValue) == 0)
        return;
    // Without the privilege, the lowest value the user's limit allows (20 - RLIMIT_NICE).
    rlimit limit;
    if (getrlimit(RLIMIT_NICE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY ||
        limit.rlim_cur > 40)
        return;
    const int lowestAllowed = 20 - static_cast<int>(limit.rlim_cur);
    if (lowestAllowed < current)
        setpriority(PRIO_PROCESS, thread, lowestAllowed);
}

namespace {
struct CountingSemaphore {
    pthread_mutex_t lock;
    pthread_cond_t released;
    int32_t count;
    int32_t maximum;
};
} // namespace

void *createSemaphore(int32_t initialCount, int32_t maximumCount) {
    if (initialCount < 0 || maximumCount <= 0 || initialCount > maximumCount)
        return nullptr;
    CountingSemaphore *semaphore = new CountingSemaphore;
    pthread_mutex_init(&semaphore->lock, nullptr);
    pthread_cond_init(&semaphore->released, nullptr);
    semaphore->count = initialCount;
    semaphore->maximum = maximumCount;
    return semaphore;
}

bool releaseSemaphore(void *handle) {
    CountingSemaphore *semaphore = static_cast<CountingSemaphore *>(handle);
    pthread_mutex_lock(&semaphore->lock);
    const bool room = semaphore->count < semaphore->maximum;
    if (room) {
        semaphore->count++;
        pthread_cond_signal(&semaphore->released);
    }
    pthread_mutex_unlock(&semaphore->lock);
    return room;
}

void waitSemaphore(void *handle) {
    CountingSemaphore *semaphore = static_cast<CountingSemaphore *>(handle);
    pthread_mutex_lock(&semaphore->lock);
    while (semaphore->count == 0)
        pthread_cond_wait(&semaphore->released, &semaphore->lock);
    semaphore->count--;
    pthread_mutex_unlock(&semaphore->lock);
}

void closeSemaphore(void *handle) {
    CountingSemaphore *semaphore = static_cast<CountingSemaphore *>(handle);
    pthread_cond_destroy(&semaphore->released);
    pthread_mutex_destroy(&semaphore->lock);
    delete semaphore;
}
