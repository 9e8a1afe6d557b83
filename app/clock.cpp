#include "app/clock.h"

#include <atomic>

#include "platform/platform.h"

static std::atomic<uint32_t (*)()> tickSource{nullptr};
static std::atomic<void (*)(uint32_t)> sleeper{nullptr};

uint32_t tickCount() {
    uint32_t (*source)() = tickSource.load();
    return source ? source() : systemTickCount();
}

void sleepFor(uint32_t ms) {
    void (*sleep)(uint32_t) = sleeper.load();
    if (sleep)
        sleep(ms);
    else
        sleepMilliseconds(ms);
}

void replaceClock(ClockFunctions functions) {
    tickSource.store(functions.tickCount);
    sleeper.store(functions.sleep);
}
