// The priority the music thread asks for, read back from the system.
#include <gtest/gtest.h>
#include <thread>
#ifdef _WIN32
#include <windows.h>
#else
#include <cerrno>
#include <sched.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>
#endif

#include "platform/platform.h"

namespace {

#ifdef _WIN32

TEST(ThreadPriority, MusicThreadRunsTimeCritical) {
    int priority = 0;
    std::thread music([&] {
        raiseThreadPriority();
        priority = GetThreadPriority(GetCurrentThread());
    });
    music.join();
    EXPECT_EQ(priority, THREAD_PRIORITY_TIME_CRITICAL);
}

#else

int niceValueOfThisThread() {
    return getpriority(PRIO_PROCESS, static_cast<id_t>(syscall(SYS_gettid)));
}

// A real-time thread that spins starves the whole system; a raised thread of the normal class
// cannot.
TEST(ThreadPriority, MusicThreadIsRaisedWithinTheNormalClass) {
    const int before = niceValueOfThisThread();
    bool systemAllowsRaising = false;
    std::thread probe([&] {
        systemAllowsRaising =
            setpriority(PRIO_PROCESS, static_cast<id_t>(syscall(SYS_gettid)), -10) == 0;
    });
    probe.join();

    int policy = -1;
    int nice = 99;
    std::thread music([&] {
        raiseThreadPriority();
        policy = sched_getscheduler(0);
        nice = niceValueOfThisThread();
    });
    music.join();
    EXPECT_EQ(policy, SCHED_OTHER) << "never a real-time class";
    if (systemAllowsRaising) {
        EXPECT_EQ(nice, -10);
    } else {
        EXPECT_LE(nice, before);
    }
    EXPECT_EQ(niceValueOfThisThread(), before) << "the other threads keep their priority";
}

#endif

} // namespace
