#include <windows.h>

#include "platform/platform.h"

uint32_t systemTickCount() { return GetTickCount(); }

uint64_t monotonicMilliseconds() { return GetTickCount64(); }

int64_t performanceCounter() {
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    return counter.QuadPart;
}

int64_t performanceFrequency() {
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return frequency.QuadPart;
}

void sleepMilliseconds(uint32_t ms) { Sleep(ms); }

// CreateThread wants a DWORD WINAPI function; the program's thread functions are plain ones, so
// the start carries both through the argument.
struct ThreadStart {
    ThreadFunction function;
    void *argument;
};

static DWORD WINAPI runThread(LPVOID start) {
    const ThreadStart begin = *static_cast<ThreadStart *>(start);
    delete static_cast<ThreadStart *>(start);
    return begin.function(begin.argument);
}

void *startThread(ThreadFunction function, void *argument) {
    ThreadStart *start = new ThreadStart{function, argument};
    HANDLE thread = CreateThread(nullptr, 0, runThread, start, 0, nullptr);
    if (thread == nullptr)
        delete start;
    return thread;
}

bool waitForThread(void *thread, uint32_t waitMs) {
    return WaitForSingleObject(static_cast<HANDLE>(thread), waitMs) == WAIT_OBJECT_0;
}

void releaseThread(void *thread) { CloseHandle(static_cast<HANDLE>(thread)); }

void raiseThreadPriority() { SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_TIME_CRITICAL); }

void *createSemaphore(int32_t initialCount, int32_t maximumCount) {
    return CreateSemaphoreA(nullptr, initialCount, maximumCount, nullptr);
}

bool releaseSemaphore(void *semaphore) {
    return ReleaseSemaphore(static_cast<HANDLE>(semaphore), 1, nullptr) != 0;
}

void waitSemaphore(void *semaphore) {
    WaitForSingleObject(static_cast<HANDLE>(semaphore), INFINITE);
}

void closeSemaphore(void *semaphore) { CloseHandle(static_cast<HANDLE>(semaphore)); }
